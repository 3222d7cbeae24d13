#include "ServerPlan.h"

#include "BindAddress.h"
#include "ConfigPaths.h"
#include "Log.h"
#include "NoticeAddress.h"
#include "cluster/NodeSeal.h"

#include <optional>

namespace vessaro {
namespace {

// The cluster's settings: all of them checked when --cluster is given, none used otherwise.
std::string PlanCluster(const ServerOptions& o, ServerPlan& plan) {
    if (o.cluster.empty())
        return "";
    std::string error;
    plan.clusterUrl = cluster::ParseRedisUrl(o.cluster, error);
    if (!plan.clusterUrl)
        return "--cluster: " + error;
    if (o.clusterSecretFile.empty())
        return "--cluster-secret-file: a cluster needs a shared secret of at least " +
               std::to_string(cluster::NodeSeal::kMinSecret) + " bytes in a file";
    std::optional<std::vector<uint8_t>> secret =
        cluster::ReadClusterSecret(o.clusterSecretFile, error);
    if (!secret)
        return "--cluster-secret-file: " + error;
    plan.clusterSecret = std::move(*secret);
    if (!o.clusterPasswordFile.empty()) {
        std::optional<cluster::RedisCredentials> credentials =
            cluster::ReadRedisCredentials(o.clusterPasswordFile, error);
        if (!credentials)
            return "--cluster-password-file: " + error;
        plan.clusterUrl->credentials = std::move(*credentials);
    }
    if (!o.nodeAddress.empty()) {
        std::string host;
        uint16_t port = 0;
        if (!ParseHostPort(o.nodeAddress, host, port, error) || port == 0)
            return "--node-address: " + (error.empty() ? "the port must not be 0" : error);
        plan.nodeAddress = o.nodeAddress;
    }
    return "";
}

} // namespace

std::string NodeAddressFor(const ServerPlan& plan, uint16_t boundPort, std::string& warning) {
    std::string text = plan.nodeAddress;
    Endpoint address;
    if (text.empty()) {
        if (!plan.udpAddresses.empty())
            address = plan.udpAddresses.front();
        if ((plan.udpAddresses.empty() || IsUnspecified(address)) && !FirstPublicAddress(address))
            ParseAddress("127.0.0.1", address);
        address.port = boundPort;
        text = EndpointText(address);
    } else {
        std::string host, error;
        uint16_t port = 0;
        if (ParseHostPort(text, host, port, error) && !ParseAddress(host, address))
            return text; // a host name: whether it is loopback is for its resolver to say
    }
    if (IsLoopback(address))
        warning = "the node address " + text +
                  " is a loopback address: nodes on other machines cannot reach this one "
                  "(set --node-address)";
    return text;
}

std::string MakeServerPlan(const ServerOptions& options, Logger* log, ServerPlan& plan,
                           const std::vector<Endpoint>* bound) {
    plan.options = options;
    ServerOptions& o = plan.options;
    if (o.bind == "::" && !Ipv6Available()) {
        if (log)
            log->Warn("IPv6 is not available here; serving IPv4 only (0.0.0.0)");
        o.bind = "0.0.0.0";
    }
    std::string error;
    if (bound)
        plan.udpAddresses = *bound;
    else if (!ResolveBindAddresses(o.bind, plan.udpAddresses, error))
        return "--bind: " + error;
    if (!o.metricsBind.empty() &&
        !ParseHostPort(o.metricsBind, plan.metricsHost, plan.metricsPort, error))
        return "--metrics-bind: " + error;
    if (o.siteDir.empty())
        o.siteDir = DefaultSiteDir(ProgramPath());
    Endpoint machine;
    std::optional<Endpoint> machineAddress;
    if (FirstPublicAddress(machine))
        machineAddress = machine;
    NoticeChoice notice = ChooseNoticeUrl(o.noticeUrl, o.publicUrl, o.bind, plan.udpAddresses,
                                          o.httpPort, machineAddress);
    if (!notice.error.empty())
        return notice.error;
    if (!notice.warning.empty() && log)
        log->Warn(notice.warning);
    if (!MakeServerConfig(o, notice.url, plan.config, error))
        return "--notice-url: " + error;
    plan.noticeUrl = notice.url;
    return PlanCluster(o, plan);
}

} // namespace vessaro
