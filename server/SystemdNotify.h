#pragma once

#include <cstdint>
#include <string>

namespace vessaro {

// Tells the service manager how the server is doing ("READY=1", "STOPPING=1", "WATCHDOG=1",
// "STATUS=…"). Does nothing when the server was not started by systemd with a notify socket.
void NotifyServiceManager(const std::string& state);

// How often the loop should ping the watchdog: half the period systemd set for this process in
// WATCHDOG_USEC; 0 when there is no watchdog.
int64_t WatchdogPingIntervalMs();

} // namespace vessaro
