#include "ServerProcess.h"

namespace vessaro::test {

ServerProcess::ServerProcess(WebPages pages)
    : pages_(pages), port_(FreeLoopbackPort(PortKind::Udp)) {}

ServerProcess::~ServerProcess() = default;

bool ServerProcess::Start() {
    if (pages_ == WebPages::Served) {
        const uint16_t webPort = FreeLoopbackPort(PortKind::Tcp);
        webUrl_ = QStringLiteral("http://%1:%2").arg(address()).arg(webPort);
        if (webPort != 0 && Launch(webPort))
            return true;
    }
    webUrl_ = QStringLiteral("http://%1:1").arg(address());
    return Launch(0);
}

bool ServerProcess::Launch(uint16_t httpPort) {
    const std::string noticeUrl = (webUrl_ + QStringLiteral("/match/adv.html")).toStdString();
    process_.reset(); // a server that did not start ends before the next one
    process_ = std::make_unique<ServerLaunch>(
        VESSARO_SERVER_BINARY, ServerLaunchArguments(address().toStdString(), port_, httpPort,
                                                     {"--notice-url", noticeUrl}));
    std::optional<ReadyLine> ready = process_->WaitReady();
    return ready && ready->port == port_;
}

QString ServerProcess::output() const {
    return process_ ? QString::fromStdString(process_->output()) : QString();
}

} // namespace vessaro::test
