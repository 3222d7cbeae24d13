#include "RedisCredentials.h"

#include "PrivateFile.h"

#include <vector>

namespace vessaro::cluster {
namespace {

constexpr std::size_t kMaxPasswordFile = 4096;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsBlankText(std::string_view text) {
    for (char c : text)
        if (!IsBlank(c) && c != '\n' && c != '\r')
            return false;
    return true;
}

} // namespace

std::optional<RedisCredentials> ParseRedisCredentials(std::string_view text, std::string& error) {
    std::string_view line = text.substr(0, text.find('\n'));
    // A second line of words is most likely a user and a password on two lines, which would
    // otherwise be taken as a password alone.
    if (line.size() < text.size() && !IsBlankText(text.substr(line.size() + 1))) {
        error = "holds more than one line (write PASSWORD or USER PASSWORD on one line)";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < line.size();) {
        const unsigned char c = static_cast<unsigned char>(line[at]);
        if (IsBlank(line[at])) {
            ++at;
            continue;
        }
        if (c < 0x20 || c == 0x7f) {
            error = "holds a control character";
            return std::nullopt;
        }
        std::size_t end = at;
        while (end < line.size() && !IsBlank(line[end]) &&
               static_cast<unsigned char>(line[end]) >= 0x20 && line[end] != 0x7f)
            ++end;
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    if (words.empty()) {
        error = "is empty (write PASSWORD or USER PASSWORD in it)";
        return std::nullopt;
    }
    if (words.size() > 2) {
        error = "holds more than two words (write PASSWORD or USER PASSWORD)";
        return std::nullopt;
    }
    RedisCredentials credentials;
    if (words.size() == 2)
        credentials.user = std::string(words[0]);
    credentials.password = std::string(words.back());
    return credentials;
}

std::optional<RedisCredentials> ReadRedisCredentials(const std::string& path, std::string& error) {
    std::optional<std::string> text =
        ReadPrivateFile(path, "Redis password file", kMaxPasswordFile, error);
    if (!text)
        return std::nullopt;
    std::optional<RedisCredentials> credentials = ParseRedisCredentials(*text, error);
    if (!credentials)
        error = "the Redis password file " + path + " " + error;
    return credentials;
}

} // namespace vessaro::cluster
