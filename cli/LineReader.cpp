#include "LineReader.h"

#include <cerrno>
#include <unistd.h>

namespace vessaro::cli {

bool LineReader::Fill() {
    char chunk[4096];
    ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n > 0)
        buffer_.append(chunk, std::size_t(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        ended_ = true;
    return !ended_;
}

std::optional<std::string> LineReader::Next() {
    std::size_t end = buffer_.find('\n');
    if (end == std::string::npos) {
        if (!ended_ || buffer_.empty())
            return std::nullopt;
        end = buffer_.size();
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace vessaro::cli
