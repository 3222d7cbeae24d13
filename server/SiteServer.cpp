#include "SiteServer.h"

#include <httplib.h>

#include <chrono>

namespace vessaro {

std::unique_ptr<SiteServer> SiteServer::Start(const std::string& bindAddress, uint16_t port,
                                              const std::string& siteDir, std::string& error) {
    auto server = std::make_unique<httplib::Server>();
    if (!server->set_mount_point("/", siteDir)) {
        error = "no site folder at " + siteDir;
        return nullptr;
    }
    server->set_file_extension_and_mimetype_mapping("html", "text/html; charset=utf-8");
    server->set_file_extension_and_mimetype_mapping("htm", "text/html; charset=utf-8");
    server->set_file_extension_and_mimetype_mapping("css", "text/css; charset=utf-8");
    server->set_file_extension_and_mimetype_mapping("txt", "text/plain; charset=utf-8");
    server->Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/match/adv.html");
    });
    server->set_keep_alive_timeout(2);
    server->set_read_timeout(5, 0);
    server->set_write_timeout(5, 0);

    int bound = port == 0 ? server->bind_to_any_port(bindAddress)
                          : (server->bind_to_port(bindAddress, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen for HTTP on " + bindAddress + ":" + std::to_string(port);
        return nullptr;
    }
    std::unique_ptr<SiteServer> site(new SiteServer(std::move(server), uint16_t(bound)));
    SiteServer* self = site.get();
    site->thread_ = std::thread([self] {
        self->server_->listen_after_bind();
        self->finished_ = true;
    });
    // A stop before the listening loop runs would be lost, and Stop would then wait forever.
    while (!self->server_->is_running() && !self->finished_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return site;
}

SiteServer::SiteServer(std::unique_ptr<httplib::Server> server, uint16_t port)
    : server_(std::move(server)), port_(port) {}

SiteServer::~SiteServer() {
    Stop();
}

void SiteServer::Stop() {
    if (!thread_.joinable())
        return;
    server_->stop();
    thread_.join();
}

} // namespace vessaro
