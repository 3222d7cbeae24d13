#include "ConfigPaths.h"

#include <filesystem>

namespace vessaro {

namespace fs = std::filesystem;

std::string ProgramPath() {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
}

std::string DefaultSiteDir(const std::string& programPath) {
    if (programPath.empty())
        return "";
    return (fs::path(programPath).parent_path().parent_path() / "share" / "vessaro" / "site")
        .lexically_normal()
        .string();
}

std::string DefaultConfigPath(const std::string& programPath) {
    if (programPath.empty())
        return "";
    const fs::path prefix = fs::path(programPath).parent_path().parent_path();
    // A prefix named usr keeps its configuration beside it, in the root it belongs to.
    const fs::path base = prefix.filename() == "usr" ? prefix.parent_path() : prefix;
    return (base / "etc" / "vessaro" / "server.toml").lexically_normal().string();
}

} // namespace vessaro
