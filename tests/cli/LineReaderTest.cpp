#include "LineReader.h"
#include "ConversationLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace vessaro::cli;

namespace {

TEST(LineReader, SplitsChunksIntoLinesAndKeepsTheUnterminatedRest) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    LineReader reader(fds[0]);
    ASSERT_EQ(write(fds[1], "/match\r\nhel", 11), 11);
    ASSERT_TRUE(reader.Fill());
    EXPECT_EQ(reader.Next(), "/match");
    EXPECT_EQ(reader.Next(), std::nullopt); // "hel" waits for the rest of its line
    ASSERT_EQ(write(fds[1], "lo\n\nlast", 8), 8);
    close(fds[1]);
    reader.Fill();
    EXPECT_EQ(reader.Next(), "hello");
    EXPECT_EQ(reader.Next(), "");
    EXPECT_EQ(reader.Next(), std::nullopt);
    EXPECT_FALSE(reader.Fill());
    EXPECT_TRUE(reader.ended());
    EXPECT_EQ(reader.Next(), "last");
    EXPECT_EQ(reader.Next(), std::nullopt);
    close(fds[0]);
}

TEST(ConversationLog, SavesEveryLineAndFailsCleanly) {
    ConversationLog log;
    log.Add("我", "你好");
    log.Add("小红", "hi");
    auto dir = std::filesystem::temp_directory_path() / ("vessaro-log-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto path = (dir / "chat.txt").string();
    ASSERT_EQ(log.Save(path), "");
    std::ifstream in(path);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(all.find("我：你好\n"), std::string::npos);
    EXPECT_NE(all.find("小红：hi\n"), std::string::npos);

    std::string error = log.Save((dir / "missing" / "chat.txt").string());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no leftovers
    std::filesystem::remove_all(dir);
}

} // namespace
