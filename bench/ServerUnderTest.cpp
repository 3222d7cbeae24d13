#include "ServerUnderTest.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vessaro::bench {
namespace {

std::vector<std::string> Arguments(std::vector<std::string> extra) {
    std::vector<std::string> limits{"--max-sessions-per-address",
                                    "100000000",
                                    "--text-rate",
                                    "1000000000",
                                    "--address-rate",
                                    "1000000000"};
    // The most sessions: the caller's, or room for every scenario but the large swarms.
    if (std::find(extra.begin(), extra.end(), "--max-sessions") == extra.end())
        limits.insert(limits.end(), {"--max-sessions", "1000000"});
    // The load generator connects thousands of clients from a few loopback networks at once: lift
    // the per-network budget of replies to unproven addresses, which protects the victims of
    // forged connects on a public server.
    limits.insert(limits.end(), {"--unproven-bytes-per-second", "1e9"});
    limits.insert(limits.end(), extra.begin(), extra.end());
    return ServerLaunchArguments("127.0.0.1", 0, 0, limits);
}

} // namespace

ServerUnderTest::ServerUnderTest(const std::string& program, std::vector<std::string> extra)
    : server_(program, Arguments(std::move(extra))) {
    if (std::optional<ReadyLine> ready = server_.WaitReady())
        port_ = ready->port;
    else
        error_ = "the server did not start: " + program;
}

std::optional<ProcessUsage> ReadProcessUsage(int pid) {
    ProcessUsage usage;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    bool found = false;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            usage.rssMegabytes = kb / 1024.0;
            found = true;
            break;
        }
        status.ignore(1 << 16, '\n');
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name (which may hold blanks) start after its closing parenthesis;
    // utime and stime are fields 14 and 15 of the line.
    auto close = text.rfind(')');
    if (!found || close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::strtod(field.c_str(), nullptr);
    usage.cpuSeconds = ticks / double(sysconf(_SC_CLK_TCK));
    return usage;
}

std::optional<uint64_t> ReadUdpReceiveDrops() {
    std::ifstream snmp("/proc/net/snmp");
    std::string names, values;
    // The "Udp:" line of names is followed by the "Udp:" line of values.
    while (std::getline(snmp, names))
        if (names.starts_with("Udp:") && std::getline(snmp, values))
            break;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
        if (name == "RcvbufErrors")
            return std::strtoull(value.c_str(), nullptr, 10);
    return std::nullopt;
}

void ExecInChild(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

} // namespace vessaro::bench
