#pragma once

#include "ServerLoop.h"
#include "ServerStats.h"

#include <string>

namespace vessaro {

class Logger;

// What the loop reports as it runs: the stats line in the debug log and the status to the service
// manager (each only when the line changed), the watchdog ping, and the stop. The reload and
// snapshot hooks are left to the caller.
LoopHooks MakeServiceHooks(double statsIntervalSeconds, Logger& log);

// The status line for the service manager: "STATUS=2 sessions, 0 waiting, 1 conversations".
std::string ServiceStatus(const ServerStats& stats);

} // namespace vessaro
