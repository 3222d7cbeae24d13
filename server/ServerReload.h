#pragma once

#include <string>
#include <vector>

namespace vessaro {

class Logger;
class MatchServer;
struct ServerPlan;

// What SIGHUP does: reads the configuration again from the same command line and default file
// (the command line still wins), logs every option that changed and those that need a restart,
// and hands the new settings to the core. A bad file or value is logged and the running settings
// stay. Runs on the loop's thread.
void ReloadServer(const std::vector<std::string>& arguments, const std::string& defaultConfig,
                  ServerPlan& running, MatchServer& core, Logger& log);

} // namespace vessaro
