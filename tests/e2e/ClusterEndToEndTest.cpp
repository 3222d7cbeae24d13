// Two real vessaro-server nodes sharing one pool through a private Redis, with real vessaro-cli
// users on each: they match and talk across the nodes, a node that dies ends its users'
// conversations on the other node, and a Redis restarted under the cluster is joined again.
#include "CliEvents.h"
#include "PrivateRedis.h"
#include "RedisLink.h"
#include "ServerChild.h"

#include <gtest/gtest.h>
#include <hiredis/hiredis.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

// A file only its owner may read, removed with the object.
class PrivateFile {
public:
    PrivateFile(const std::string& name, const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("vessaro-" + name + "-" + std::to_string(::getpid()))) {
        std::ofstream(path_) << text;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_read);
    }
    ~PrivateFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// A Redis, a secret shared by the nodes, and nodes started on them.
class Cluster {
public:
    Cluster() : secret_("cluster-secret", "a secret these nodes share\n") {
        EXPECT_TRUE(redis.ready()) << redis.error();
    }

    std::vector<std::string> NodeArguments() const {
        return {"--cluster", redis.url(), "--cluster-secret-file", secret_.path()};
    }
    std::unique_ptr<ServerChild> StartNode() const {
        return std::make_unique<ServerChild>(NodeArguments());
    }
    // Whether every node number up to count holds a liveness record, within a few seconds.
    bool NodesLive(int count) {
        std::string error;
        auto url = vessaro::cluster::ParseRedisUrl(redis.url(), error);
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (auto link = vessaro::cluster::RedisLink::Connect(*url, 500, error)) {
                int live = 0;
                for (int n = 1; n <= count; ++n)
                    live += link->Command({"EXISTS", "vessaro:node:" + std::to_string(n)})->integer;
                if (live == count)
                    return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    vessaro::PrivateRedis redis;

private:
    PrivateFile secret_;
};

const std::vector<std::string> kHim = {"--nickname", "小明",       "--sex",
                                       "male",       "--want-sex", "female"};
const std::vector<std::string> kHer = {"--nickname", "小红",       "--sex",
                                       "female",     "--want-sex", "male"};

std::vector<std::string> With(std::vector<std::string> options,
                              const std::vector<std::string>& more) {
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

TEST(ClusterEndToEnd, UsersOnTwoNodesMatchAndTalkWhileAThirdWaits) {
    Cluster cluster;
    auto a = cluster.StartNode();
    auto b = cluster.StartNode();
    ASSERT_TRUE(cluster.NodesLive(2));

    auto lonely = a->StartClient({"--nickname", "老王", "--sex", "male", "--want-sex", "female",
                                  "--min-age", "18", "--max-age", "19"});
    ExpectEvent(*lonely, "connected");
    lonely->WriteLine("/match");
    ExpectEvent(*lonely, "matching");
    auto ming = a->StartClient(kHim);
    auto hong = b->StartClient(With(kHer, {"--age", "25", "--city", "广州"}));
    for (auto* client : {ming.get(), hong.get()}) {
        ExpectEvent(*client, "connected");
        client->WriteLine("/match");
    }
    EXPECT_EQ(ExpectEvent(*ming, "partner_found")["partner"]["city"], "广州");
    EXPECT_EQ(ExpectEvent(*hong, "partner_found")["partner"]["nickname"], "小明");
    ming->WriteLine("/accept");
    hong->WriteLine("/accept");
    ExpectEvent(*ming, "talk_started");
    ExpectEvent(*hong, "talk_started");
    for (int i = 0; i < 3; ++i) {
        ChildProcess& from = i % 2 ? *hong : *ming;
        ChildProcess& to = i % 2 ? *ming : *hong;
        const std::string text = "第" + std::to_string(i) + "句 across the nodes";
        from.WriteLine(text);
        EXPECT_EQ(ExpectEvent(from, "sent")["text"], text);
        EXPECT_EQ(ExpectEvent(to, "talk_text")["text"], text);
    }
    hong->WriteLine("/hangup");
    ExpectEvent(*hong, "talk_ended");
    ExpectEvent(*ming, "talk_ended");

    EXPECT_FALSE(HasPrinted(*lonely, "partner_found"));
    for (auto* client : {ming.get(), hong.get(), lonely.get()})
        client->WriteLine("/quit");
    for (auto* client : {ming.get(), hong.get(), lonely.get()})
        EXPECT_EQ(client->Wait(), 0);
    EXPECT_EQ(EventsOf(*hong, "talk_text").size(), 2u) << "each text arrives once";
    EXPECT_EQ(EventsOf(*ming, "talk_text").size(), 1u);
}

TEST(ClusterEndToEnd, ANodeKilledInAConversationEndsItForThePartner) {
    Cluster cluster;
    auto a = cluster.StartNode();
    auto b = cluster.StartNode();
    ASSERT_TRUE(cluster.NodesLive(2));
    auto ming = a->StartClient(With(kHim, {"--auto-match", "--auto-accept"}));
    auto hong = b->StartClient(With(kHer, {"--auto-match", "--auto-accept"}));
    ExpectEvent(*ming, "talk_started");
    ExpectEvent(*hong, "talk_started");
    ASSERT_FALSE(HasFailure());

    b->process().Signal(SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    ExpectEvent(*ming, "talk_ended", 15s);
    std::printf("the partner's client was told %.2f s after its node was killed\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count());
    EXPECT_FALSE(HasPrinted(*ming, "server_lost")) << "its own node still serves it";
}

TEST(ClusterEndToEnd, NodesJoinAgainAfterRedisRestartsAndMatchAcrossThem) {
    Cluster cluster;
    auto a = cluster.StartNode();
    auto b = cluster.StartNode();
    ASSERT_TRUE(cluster.NodesLive(2));
    cluster.redis.Stop();
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(cluster.redis.Start());
    ASSERT_TRUE(cluster.NodesLive(2)) << "both nodes claim their numbers again";

    auto ming = a->StartClient(With(kHim, {"--auto-match", "--auto-accept"}));
    auto hong = b->StartClient(With(kHer, {"--auto-match", "--auto-accept"}));
    ExpectEvent(*ming, "talk_started");
    ExpectEvent(*hong, "talk_started");
    ming->WriteLine("又连上了");
    EXPECT_EQ(ExpectEvent(*hong, "talk_text")["text"], "又连上了");
}

// Without Redis the server does not start (status 1); a cluster without a usable secret is a
// configuration error (status 2).
TEST(ClusterEndToEnd, StartFailsClearlyWithoutRedisOrSecret) {
    Cluster cluster;
    std::vector<std::string> arguments = cluster.NodeArguments();
    cluster.redis.Stop();
    vessaro::ServerLaunch unreachable(VESSARO_SERVER_PATH,
                                      vessaro::ServerLaunchArguments("127.0.0.1", 0, 0, arguments),
                                      vessaro::ServerLaunch::Errors::Discard);
    EXPECT_EQ(unreachable.Wait(), 1);
    arguments.back() = "/nonexistent/secret";
    vessaro::ServerLaunch noSecret(VESSARO_SERVER_PATH,
                                   vessaro::ServerLaunchArguments("127.0.0.1", 0, 0, arguments),
                                   vessaro::ServerLaunch::Errors::Discard);
    EXPECT_EQ(noSecret.Wait(), 2);
}

} // namespace
