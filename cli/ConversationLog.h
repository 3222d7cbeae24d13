#pragma once

#include <string>
#include <vector>

namespace vessaro::cli {

// What was said in this run, for /save: the partner's lines, the user's confirmed lines and the
// milestones of each conversation, as plain UTF-8 text.
class ConversationLog {
public:
    void Add(const std::string& speaker, const std::string& text);
    std::string Text() const;
    // Writes the log to a file by way of a temporary file renamed into place, so a failed save
    // never leaves a partial file. Returns an error message, or empty on success.
    std::string Save(const std::string& path) const;

private:
    std::vector<std::string> lines_;
};

} // namespace vessaro::cli
