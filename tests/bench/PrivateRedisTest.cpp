#include "PrivateRedis.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

// A private Redis answers on its own port while the object lives, and leaves neither a process
// nor its folder behind; two at once do not collide.
TEST(PrivateRedisTest, ServesOnItsOwnPortAndLeavesNothingBehind) {
    std::string folder;
    uint16_t port = 0;
    {
        PrivateRedis first;
        PrivateRedis second;
        ASSERT_TRUE(first.ready()) << first.error();
        ASSERT_TRUE(second.ready()) << second.error();
        EXPECT_NE(first.port(), second.port());
        EXPECT_TRUE(RedisAnswersPing(first.port()));
        EXPECT_TRUE(RedisAnswersPing(second.port()));
        EXPECT_EQ(first.url(), "redis://127.0.0.1:" + std::to_string(first.port()));
        folder = first.folder();
        port = first.port();
        EXPECT_TRUE(std::filesystem::is_directory(folder));
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_FALSE(RedisAnswersPing(port, 200));
}

// A program that is missing, or that ends at once, gives a reason instead of a Redis.
TEST(PrivateRedisTest, ReportsWhyItCouldNotStart) {
    struct Case {
        const char* program;
        const char* reason;
    };
    const Case cases[] = {
        {"/nonexistent/redis-server", "was not found"},
        {"vessaro-no-such-redis-server", "was not found"},
        {"", "was not found"},
        {"/bin/false", "stopped at start"},
    };
    for (const Case& c : cases) {
        PrivateRedis redis({c.program, {}, {}});
        EXPECT_FALSE(redis.ready()) << c.program;
        EXPECT_EQ(redis.pid(), -1) << c.program;
        EXPECT_NE(redis.error().find(c.reason), std::string::npos)
            << c.program << ": " << redis.error();
    }
}

TEST(FindProgramTest, FindsExecutablesByPathOrName) {
    EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
    const std::string sh = FindProgram("sh");
    EXPECT_TRUE(sh.ends_with("/sh")) << sh;
    EXPECT_EQ(FindProgram(""), "");
    EXPECT_EQ(FindProgram("/nonexistent/sh"), "");
    EXPECT_EQ(FindProgram("/usr/bin/"), ""); // there, but a folder
}

} // namespace
} // namespace vessaro
