#include "ServerPlan.h"

#include "BindAddress.h"
#include "ConfigPaths.h"
#include "Log.h"
#include "NoticeAddress.h"

#include <optional>

namespace vessaro {

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
    return "";
}

} // namespace vessaro
