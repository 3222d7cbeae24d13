#include "ServiceHooks.h"

#include "Log.h"
#include "SystemdNotify.h"

namespace vessaro {

std::string ServiceStatus(const ServerStats& s) {
    return "STATUS=" + std::to_string(s.sessions) + " sessions, " + std::to_string(s.waiting) +
           " waiting, " + std::to_string(s.conversations) + " conversations";
}

LoopHooks MakeServiceHooks(double statsIntervalSeconds, Logger& log) {
    LoopHooks hooks;
    hooks.stopping = [&log] {
        NotifyServiceManager("STOPPING=1");
        log.Info("stopping: telling every client");
    };
    hooks.statsIntervalMs = int64_t(statsIntervalSeconds * 1000.0);
    hooks.stats = [&log, lastStats = std::string()](const ServerStats& stats) mutable {
        std::string line = FormatStatsLine(stats);
        if (line == lastStats)
            return;
        lastStats = line;
        log.Debug(line);
        NotifyServiceManager(ServiceStatus(stats));
    };
    hooks.watchdogIntervalMs = WatchdogPingIntervalMs();
    hooks.watchdog = [] { NotifyServiceManager("WATCHDOG=1"); };
    return hooks;
}

} // namespace vessaro
