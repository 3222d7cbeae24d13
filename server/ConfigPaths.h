#pragma once

#include <string>

namespace vessaro {

// Where vessaro-server finds its data and its default configuration: relative to its own
// program file, so that an installed tree works wherever it lies. The build tree has the same
// shape (build/<preset>/server/vessaro-server beside build/<preset>/share/vessaro/site).

// The running program's path ("" when it cannot be read).
std::string ProgramPath();

// <program dir>/../share/vessaro/site.
std::string DefaultSiteDir(const std::string& programPath);

// The default configuration file for a program at programPath:
// /usr/bin/x -> /etc/vessaro/server.toml; <root>/usr/bin/x -> <root>/etc/vessaro/server.toml;
// <prefix>/bin/x -> <prefix>/etc/vessaro/server.toml.
std::string DefaultConfigPath(const std::string& programPath);

} // namespace vessaro
