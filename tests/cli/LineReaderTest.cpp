#include "LineReader.h"

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

} // namespace
