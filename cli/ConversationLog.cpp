#include "ConversationLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vessaro::cli {

void ConversationLog::Add(const std::string& speaker, const std::string& text) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    lines_.push_back(std::string(stamp) + " " + speaker + "：" + text);
}

std::string ConversationLog::Text() const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\n";
    return text;
}

std::string ConversationLog::Save(const std::string& path) const {
    std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return std::strerror(errno);
    std::string text = Text();
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = written ? 0 : errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        if (written)
            error = errno;
        std::remove(temporary.c_str());
        return std::strerror(error);
    }
    return {};
}

} // namespace vessaro::cli
