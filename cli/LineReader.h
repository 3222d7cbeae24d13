#pragma once

#include <optional>
#include <string>

namespace vessaro::cli {

// Splits what arrives on a file descriptor into lines without blocking the caller longer than one
// read: call Fill when poll says the descriptor is readable, then take lines with Next.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    // Reads what is available. False once the input has ended (or failed).
    bool Fill();
    // The next complete line, without its line break; at the end of input, the unterminated rest.
    std::optional<std::string> Next();
    bool ended() const { return ended_; }

private:
    int fd_;
    bool ended_ = false;
    std::string buffer_;
};

} // namespace vessaro::cli
