#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vessaro::cluster {

// Who a node is to Redis: a password for Redis' default user (AUTH PASSWORD), or a user of
// Redis' access lists and its password (AUTH USER PASSWORD). No password: nothing is sent.
struct RedisCredentials {
    std::string user;
    std::string password;

    bool empty() const { return password.empty(); }
};

// The credentials a password file holds: "PASSWORD" or "USER PASSWORD" on its first line (spaces
// or tabs between the words; a trailing line feed and carriage return are ignored), nothing but
// blank lines after it. Nothing, with what is wrong in error, otherwise; error never quotes the
// file's content.
std::optional<RedisCredentials> ParseRedisCredentials(std::string_view text, std::string& error);

// The credentials in a file that only this server may read (see ReadPrivateFile); error names the
// file.
std::optional<RedisCredentials> ReadRedisCredentials(const std::string& path, std::string& error);

} // namespace vessaro::cluster
