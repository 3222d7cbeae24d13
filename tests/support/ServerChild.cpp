#include "ServerChild.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace vessaro::test {

ServerChild::ServerChild(std::vector<std::string> extraArguments, uint16_t port) {
    std::vector<std::string> arguments = {
        "--bind", "127.0.0.1", "--port", std::to_string(port), "--http-port", "0",
        // Servers of parallel tests would share the metrics listener's default port.
        "--metrics-bind", ""};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    process_ = std::make_unique<ChildProcess>(VESSARO_SERVER_PATH, arguments, false);
    auto ready = process_->WaitFor("ready on");
    if (!ready) {
        ADD_FAILURE() << "vessaro-server did not report that it is ready";
        return;
    }
    std::smatch match;
    if (std::regex_search(*ready, match, std::regex(R"(ready on \S+:([0-9]+))")))
        port_ = static_cast<uint16_t>(std::stoi(match[1]));
    else
        ADD_FAILURE() << "no port in: " << *ready;
}

ServerChild::~ServerChild() {
    process_->Signal(SIGTERM);
    process_->Wait();
}

std::unique_ptr<ChildProcess>
ServerChild::StartClient(const std::vector<std::string>& options) const {
    return StartClientVia(port_, options);
}

std::unique_ptr<ChildProcess>
ServerChild::StartClientVia(uint16_t port, const std::vector<std::string>& options) const {
    std::vector<std::string> arguments = {"--server", "127.0.0.1", "--port", std::to_string(port),
                                          "--json"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return std::make_unique<ChildProcess>(VESSARO_CLI_PATH, arguments, false);
}

} // namespace vessaro::test
