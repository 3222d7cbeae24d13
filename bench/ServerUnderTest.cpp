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
    // "time on CPU, time waiting on a run queue, time slices", in nanoseconds.
    std::ifstream schedule("/proc/" + std::to_string(pid) + "/schedstat");
    double onCpu = 0, waiting = 0;
    if (schedule >> onCpu >> waiting)
        usage.runQueueSeconds = waiting / 1e9;
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

std::optional<uint64_t> SocketDropsFromLine(const std::string& line, uint16_t port) {
    // "sl local_address rem_address st tx_queue:rx_queue tr:when retrnsmt uid timeout inode ref
    // pointer drops", the local address as hex "ADDRESS:PORT".
    std::istringstream fields(line);
    std::string slot, local, field;
    if (!(fields >> slot >> local) || slot.empty() || slot.back() != ':')
        return std::nullopt;
    const auto colon = local.rfind(':');
    if (colon == std::string::npos || colon + 5 != local.size())
        return std::nullopt;
    char* end = nullptr;
    const unsigned long localPort = std::strtoul(local.c_str() + colon + 1, &end, 16);
    if (*end != 0 || localPort != port)
        return std::nullopt;
    // Ten more fields to the drops: remote, st, queues, timer, retransmits, uid, timeout, inode,
    // ref, pointer.
    for (int i = 0; i < 10; ++i)
        if (!(fields >> field))
            return std::nullopt;
    std::string drops;
    if (!(fields >> drops) || drops.empty() ||
        drops.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::strtoull(drops.c_str(), nullptr, 10);
}

std::optional<uint64_t> ReadSocketDrops(uint16_t port) {
    std::optional<uint64_t> total;
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line))
            if (std::optional<uint64_t> drops = SocketDropsFromLine(line, port))
                total = total.value_or(0) + *drops;
    }
    return total;
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
