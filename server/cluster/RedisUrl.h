#pragma once

#include "RedisCredentials.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vessaro::cluster {

// Where the cluster's Redis is: redis://HOST[:PORT][/DB]. HOST is a name, an IPv4 address or an
// IPv6 address in brackets; PORT defaults to 6379 and DB to 0.
struct RedisUrl {
    std::string host;
    uint16_t port = 6379;
    int db = 0;
    // From the password file, never from the address text; Text() never shows them.
    RedisCredentials credentials;

    // "redis://host:port/db", with brackets around an IPv6 host.
    std::string Text() const;
};

// The URL, or nothing with what is wrong in error. A user or password in it is refused (a command
// line is shown to every user of the machine), and error then never quotes the text.
std::optional<RedisUrl> ParseRedisUrl(const std::string& text, std::string& error);

} // namespace vessaro::cluster
