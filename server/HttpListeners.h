#pragma once

#include "SiteServer.h"
#include "cluster/ClusterStatus.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace vessaro {

class StatsSnapshot;
struct ServerPlan;

// The server's two HTTP listeners: the web site's default pages, and /metrics with /healthz.
// The handlers read the stats through the snapshot, on the HTTP threads; they answer only once
// the loop runs. The object stays where it was built: the handlers hold it.
class HttpListeners {
public:
    explicit HttpListeners(StatsSnapshot& snapshot);
    HttpListeners(const HttpListeners&) = delete;
    HttpListeners& operator=(const HttpListeners&) = delete;

    // Starts the pages (unless the HTTP port is 0) and the metrics listener (unless its address is
    // empty); "" when both are as asked, otherwise what failed and how to run without it.
    // cluster, when given, reports the cluster's state for /metrics from the HTTP threads.
    std::string Start(const ServerPlan& plan,
                      std::function<cluster::ClusterStatus()> cluster = nullptr);
    // "http 8080, metrics 127.0.0.1:9366", "http off, metrics off" …: for the ready line.
    std::string Describe() const;
    void Stop();

private:
    HttpReply Metrics() const;
    HttpReply Health() const;

    StatsSnapshot& snapshot_;
    std::string metricsHost_;
    std::function<cluster::ClusterStatus()> cluster_;
    // The listeners whose requests /metrics counts, published for the HTTP threads.
    std::atomic<const SiteServer*> counted_[2] = {nullptr, nullptr};
    std::unique_ptr<SiteServer> site_, metrics_;
};

} // namespace vessaro
