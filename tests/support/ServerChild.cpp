#include "ServerChild.h"

#include <gtest/gtest.h>

namespace vessaro::test {

ServerChild::ServerChild(std::vector<std::string> extraArguments, uint16_t port) {
    process_ = std::make_unique<ServerLaunch>(
        VESSARO_SERVER_PATH, ServerLaunchArguments("127.0.0.1", port, 0, extraArguments),
        ServerLaunch::Errors::Discard);
    if (std::optional<ReadyLine> ready = process_->WaitReady())
        port_ = ready->port;
    else
        ADD_FAILURE() << "vessaro-server did not report that it is ready: " << process_->output();
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
