#include "SystemdNotify.h"

#include <systemd/sd-daemon.h>

namespace vessaro {

void NotifyServiceManager(const std::string& state) {
    sd_notify(0, state.c_str());
}

int64_t WatchdogPingIntervalMs() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return 0;
    return int64_t(usec / 2000) > 0 ? int64_t(usec / 2000) : 1;
}

} // namespace vessaro
