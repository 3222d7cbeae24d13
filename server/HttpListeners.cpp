#include "HttpListeners.h"

#include "MetricsText.h"
#include "ServerPlan.h"
#include "StatsSnapshot.h"

#include <optional>

namespace vessaro {
namespace {

constexpr int64_t kHealthyTurnMs = 5000; // the loop wakes at least every second

} // namespace

HttpListeners::HttpListeners(StatsSnapshot& snapshot) : snapshot_(snapshot) {}

std::string HttpListeners::Start(const ServerPlan& plan,
                                 std::function<cluster::ClusterStatus()> cluster) {
    cluster_ = std::move(cluster);
    std::string error;
    if (plan.options.httpPort != 0) {
        SiteServerOptions web;
        web.bind = plan.options.bind;
        web.port = plan.options.httpPort;
        web.siteDir = plan.options.siteDir;
        site_ = SiteServer::Start(web, error);
        if (!site_)
            return error + " (--http-port 0 runs without web pages)";
        counted_[0] = site_.get();
    }
    if (!plan.options.metricsBind.empty()) {
        SiteServerOptions web;
        web.bind = plan.metricsHost;
        web.port = plan.metricsPort;
        web.handlers = {{"/metrics", [this] { return Metrics(); }},
                        {"/healthz", [this] { return Health(); }}};
        metricsHost_ = plan.metricsHost;
        metrics_ = SiteServer::Start(web, error);
        if (!metrics_)
            return error + " (--metrics-bind \"\" runs without metrics)";
        counted_[1] = metrics_.get();
    }
    return "";
}

std::string HttpListeners::Describe() const {
    std::string text = site_ ? "http " + std::to_string(site_->port()) : "http off";
    const bool v6Host = metricsHost_.find(':') != std::string::npos;
    text += metrics_ ? ", metrics " + (v6Host ? "[" + metricsHost_ + "]" : metricsHost_) + ":" +
                           std::to_string(metrics_->port())
                     : ", metrics off";
    return text;
}

void HttpListeners::Stop() {
    if (metrics_)
        metrics_->Stop();
    if (site_)
        site_->Stop();
}

HttpReply HttpListeners::Metrics() const {
    std::optional<ServerStats> stats = snapshot_.Read();
    if (!stats)
        return HttpReply{503, "text/plain; charset=utf-8", "stats not available\n"};
    MetricsInput input{*stats, 0, cluster_ ? cluster_() : cluster::ClusterStatus{}};
    for (const auto& listener : counted_) {
        if (const SiteServer* l = listener.load())
            input.httpRequests += l->requests();
    }
    return HttpReply{200, "text/plain; version=0.0.4; charset=utf-8", FormatMetrics(input)};
}

HttpReply HttpListeners::Health() const {
    return snapshot_.Alive(kHealthyTurnMs)
               ? HttpReply{200, "text/plain; charset=utf-8", "ok\n"}
               : HttpReply{503, "text/plain; charset=utf-8", "the server loop is stuck\n"};
}

} // namespace vessaro
