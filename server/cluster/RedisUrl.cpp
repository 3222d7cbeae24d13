#include "RedisUrl.h"

#include <cctype>

namespace vessaro::cluster {
namespace {

constexpr int kMaxDb = 65535;

// A decimal number of at most the given value, with no sign, space or leading zeros beyond "0".
std::optional<long> Decimal(const std::string& text, long most) {
    if (text.empty() || text.size() > 6 || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > most)
        return std::nullopt;
    return value;
}

bool ValidHostName(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

bool ValidIpv6Text(const std::string& host) {
    if (host.empty() || host.size() > 45)
        return false;
    for (char c : host)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
            return false;
    return host.find(':') != std::string::npos;
}

} // namespace

std::string RedisUrl::Text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return "redis://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" +
           std::to_string(db);
}

std::optional<RedisUrl> ParseRedisUrl(const std::string& text, std::string& error) {
    const std::string scheme = "redis://";
    if (text.find('@') != std::string::npos) {
        error = "a user or password in the Redis address is refused, since every user of the "
                "machine can read a command line: write them into a file that only the server "
                "may read and name it with --cluster-password-file";
        return std::nullopt;
    }
    if (text.rfind(scheme, 0) != 0) {
        error = "\"" + text + "\" is not a redis://HOST:PORT[/DB] address";
        return std::nullopt;
    }
    std::string rest = text.substr(scheme.size());
    RedisUrl url;
    if (auto slash = rest.find('/'); slash != std::string::npos) {
        std::optional<long> db = Decimal(rest.substr(slash + 1), kMaxDb);
        if (!db) {
            error = "the Redis database in \"" + text + "\" must be a number from 0 to " +
                    std::to_string(kMaxDb);
            return std::nullopt;
        }
        url.db = int(*db);
        rest.erase(slash);
    }
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
        auto close = rest.find(']');
        if (close == std::string::npos) {
            error = "unclosed [ in the Redis address \"" + text + "\"";
            return std::nullopt;
        }
        url.host = rest.substr(1, close - 1);
        if (!ValidIpv6Text(url.host)) {
            error = "\"" + url.host + "\" is not an IPv6 address";
            return std::nullopt;
        }
        std::string after = rest.substr(close + 1);
        if (!after.empty() && after[0] != ':') {
            error = "unexpected \"" + after + "\" after the host in \"" + text + "\"";
            return std::nullopt;
        }
        if (!after.empty())
            port = after.substr(1);
        else
            port = "6379";
    } else {
        auto colon = rest.find(':');
        url.host = rest.substr(0, colon);
        port = colon == std::string::npos ? "6379" : rest.substr(colon + 1);
        if (!ValidHostName(url.host)) {
            error = "\"" + url.host + "\" is not a host name or address in \"" + text + "\"";
            return std::nullopt;
        }
    }
    std::optional<long> number = Decimal(port, 65535);
    if (!number || *number == 0) {
        error = "the Redis port in \"" + text + "\" must be a number from 1 to 65535";
        return std::nullopt;
    }
    url.port = uint16_t(*number);
    return url;
}

} // namespace vessaro::cluster
