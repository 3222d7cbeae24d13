#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

namespace vessaro::cluster {

// What is wrong with a file of this mode for holding a secret, or "" when nothing is: it must be a
// regular file; other users may have no access at all; its group may not write, and may read only
// when the group is one this process runs in (root:vessaro 0640 for a service running as
// vessaro), since any other member of that group could read it.
std::string PrivateFileProblem(mode_t mode, bool groupIsOwn);

// The bytes of a file that holds a secret, at most maxBytes of them. The permissions are checked
// on the descriptor that is read, so they are those of the file read. Nothing, with the reason in
// error (which names the file as `what` and its path, never its content), when it cannot be read,
// is exposed to other users, or is too long.
std::optional<std::string> ReadPrivateFile(const std::string& path, const std::string& what,
                                           std::size_t maxBytes, std::string& error);

} // namespace vessaro::cluster
