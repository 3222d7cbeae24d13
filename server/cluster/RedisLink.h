#pragma once

#include "RedisUrl.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct redisContext;
struct redisReply;

namespace vessaro::cluster {

struct ReplyFree {
    void operator()(redisReply* reply) const;
};
// One reply of Redis, owned.
using RedisReplyPtr = std::unique_ptr<redisReply, ReplyFree>;

// One connection to Redis through hiredis' synchronous interface, with a time limit on every
// read and write. Once it breaks (closed, timed out, a protocol error) it stays broken: the owner
// opens a new one.
class RedisLink {
public:
    // Connects, authenticates with the URL's credentials when it has a password, and selects the
    // URL's database; null with the reason in error (which never holds the password).
    static std::unique_ptr<RedisLink> Connect(const RedisUrl& url, int timeoutMs,
                                              std::string& error);
    ~RedisLink();
    RedisLink(const RedisLink&) = delete;
    RedisLink& operator=(const RedisLink&) = delete;

    // Sends one command and waits for its reply; null when the link broke. A reply of the error
    // type is a reply, not a broken link.
    RedisReplyPtr Command(const std::vector<std::string_view>& arguments);
    // Pipelining: commands appended are sent together by the first Next, which then returns
    // their replies one by one, in order.
    void Append(const std::vector<std::string_view>& arguments);
    RedisReplyPtr Next();

    // For a subscribed link: reads what has arrived without waiting for more (call when its
    // socket is readable) and returns the complete replies; false when the link broke.
    bool ReadArrived(std::vector<RedisReplyPtr>& replies);

    int fd() const;
    bool broken() const;
    std::string error() const;

private:
    explicit RedisLink(redisContext* context) : context_(context) {}
    bool Authenticate(const RedisUrl& url, std::string& error);
    redisContext* context_;
};

// Helpers for replies.
bool IsError(const redisReply* reply);
bool IsStatus(const redisReply* reply, std::string_view status);
std::string_view StringOf(const redisReply* reply); // "" unless a string

} // namespace vessaro::cluster
