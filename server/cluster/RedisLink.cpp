#include "RedisLink.h"

#include <hiredis/hiredis.h>

namespace vessaro::cluster {

void ReplyFree::operator()(redisReply* reply) const {
    freeReplyObject(reply);
}

std::unique_ptr<RedisLink> RedisLink::Connect(const RedisUrl& url, int timeoutMs,
                                              std::string& error) {
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    redisContext* context = redisConnectWithTimeout(url.host.c_str(), url.port, limit);
    if (context == nullptr) {
        error = "cannot reach Redis at " + url.Text() + ": out of memory";
        return nullptr;
    }
    std::unique_ptr<RedisLink> link(new RedisLink(context));
    if (context->err != 0) {
        error = "cannot reach Redis at " + url.Text() + ": " + context->errstr;
        return nullptr;
    }
    if (redisSetTimeout(context, limit) != REDIS_OK) {
        error = "cannot set the time limit of the link to Redis: " + link->error();
        return nullptr;
    }
    redisEnableKeepAlive(context);
    if (!link->Authenticate(url, error))
        return nullptr;
    const std::string db = std::to_string(url.db);
    RedisReplyPtr selected = link->Command({"SELECT", db});
    if (selected && IsError(selected.get()) && StringOf(selected.get()).starts_with("NOAUTH")) {
        error = "Redis at " + url.Text() +
                " asks for a password: name a file that holds it with --cluster-password-file";
        return nullptr;
    }
    if (!selected || IsError(selected.get())) {
        error = "Redis at " + url.Text() + " refused database " + db + ": " +
                (selected ? std::string(StringOf(selected.get())) : link->error());
        return nullptr;
    }
    return link;
}

// AUTH before any other command, when there is a password. Redis' answers to a refused AUTH
// ("WRONGPASS …") do not repeat the password; one that did would not be passed on.
bool RedisLink::Authenticate(const RedisUrl& url, std::string& error) {
    const RedisCredentials& c = url.credentials;
    if (c.empty())
        return true;
    RedisReplyPtr reply =
        c.user.empty() ? Command({"AUTH", c.password}) : Command({"AUTH", c.user, c.password});
    if (reply && !IsError(reply.get()))
        return true;
    std::string why = reply ? std::string(StringOf(reply.get())) : this->error();
    if (why.find(c.password) != std::string::npos)
        why = "(its answer is not shown)";
    error = "Redis at " + url.Text() + " refused the password" +
            (c.user.empty() ? "" : " of user " + c.user) + ": " + why;
    return false;
}

RedisLink::~RedisLink() {
    redisFree(context_);
}

void RedisLink::Append(const std::vector<std::string_view>& arguments) {
    std::vector<const char*> pointers;
    std::vector<size_t> lengths;
    for (std::string_view a : arguments) {
        pointers.push_back(a.data());
        lengths.push_back(a.size());
    }
    redisAppendCommandArgv(context_, int(arguments.size()), pointers.data(), lengths.data());
}

RedisReplyPtr RedisLink::Next() {
    if (broken())
        return nullptr;
    void* reply = nullptr;
    if (redisGetReply(context_, &reply) != REDIS_OK)
        return nullptr;
    return RedisReplyPtr(static_cast<redisReply*>(reply));
}

RedisReplyPtr RedisLink::Command(const std::vector<std::string_view>& arguments) {
    Append(arguments);
    return Next();
}

bool RedisLink::ReadArrived(std::vector<RedisReplyPtr>& replies) {
    if (broken() || redisBufferRead(context_) != REDIS_OK)
        return false;
    for (;;) {
        void* reply = nullptr;
        if (redisGetReplyFromReader(context_, &reply) != REDIS_OK)
            return false;
        if (reply == nullptr)
            return true;
        replies.emplace_back(static_cast<redisReply*>(reply));
    }
}

int RedisLink::fd() const {
    return context_->fd;
}
bool RedisLink::broken() const {
    return context_->err != 0;
}
std::string RedisLink::error() const {
    return context_->err != 0 ? context_->errstr : "";
}

bool IsError(const redisReply* reply) {
    return reply && reply->type == REDIS_REPLY_ERROR;
}

bool IsStatus(const redisReply* reply, std::string_view status) {
    return reply && reply->type == REDIS_REPLY_STATUS &&
           std::string_view(reply->str, reply->len) == status;
}

std::string_view StringOf(const redisReply* reply) {
    if (!reply || (reply->type != REDIS_REPLY_STRING && reply->type != REDIS_REPLY_STATUS &&
                   reply->type != REDIS_REPLY_ERROR))
        return {};
    return std::string_view(reply->str, reply->len);
}

} // namespace vessaro::cluster
