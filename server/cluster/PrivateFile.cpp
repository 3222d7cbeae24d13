#include "PrivateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vessaro::cluster {
namespace {

bool InOwnGroups(gid_t group) {
    if (group == getegid())
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(std::size_t(count), 0);
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[std::size_t(i)] == group)
            return true;
    return false;
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

} // namespace

std::string PrivateFileProblem(mode_t mode, bool groupIsOwn) {
    if (!S_ISREG(mode))
        return "is not a regular file";
    const std::string fix = " (mode " + OctalMode(mode) + "; chmod 0600, or 0640 with the group " +
                            "the server runs as)";
    if (mode & S_IRWXO)
        return "is open to every user of the machine" + fix;
    if (mode & S_IWGRP)
        return "is writable by its group" + fix;
    if ((mode & S_IRGRP) && !groupIsOwn)
        return "is readable by a group the server does not run as" + fix;
    return "";
}

std::optional<std::string> ReadPrivateFile(const std::string& path, const std::string& what,
                                           std::size_t maxBytes, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read the " + what + " " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string problem;
    if (fstat(fd, &info) != 0)
        problem = std::string("cannot be examined: ") + std::strerror(errno);
    else
        problem = PrivateFileProblem(info.st_mode, InOwnGroups(info.st_gid));
    std::string content;
    char chunk[4096];
    while (problem.empty()) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            problem = std::string("cannot be read: ") + std::strerror(errno);
        else if (n == 0)
            break;
        else if (content.size() + std::size_t(n) > maxBytes)
            problem = "is longer than " + std::to_string(maxBytes) + " bytes";
        else
            content.append(chunk, std::size_t(n));
    }
    close(fd);
    if (!problem.empty()) {
        error = "the " + what + " " + path + " " + problem;
        return std::nullopt;
    }
    return content;
}

} // namespace vessaro::cluster
