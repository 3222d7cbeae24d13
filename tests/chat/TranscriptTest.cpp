#include "Transcript.h"
#include "Codec.h"
#include "SaveFile.h"
#include "TranscriptPage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace vessaro;

namespace {

std::time_t LocalTime(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(Transcript, KindChoosesLabelAndColour) {
    Transcript t("me", "peer");
    const std::tuple<int, std::string, std::string> cases[] = {
        {0, "peer", "Blue"}, {1, "me", "Green"},  {2, EncodeGbk("系统消息").value(), "Teal"},
        {7, "me", "Green"},  {-1, "me", "Green"},
    };
    for (const auto& [kind, label, colour] : cases) {
        const ChatEntry& e = t.Add("x", kind);
        EXPECT_EQ(e.speakerLabel, label) << kind;
        EXPECT_EQ(e.colorName, colour) << kind;
    }
    EXPECT_EQ(t.entries().size(), 5u);
    t.Clear();
    EXPECT_TRUE(t.entries().empty());
}

TEST(Transcript, TimeStampsAreZeroPadded24Hour) {
    EXPECT_EQ(FormatTimeStamp(LocalTime(8, 5, 3)), "08:05:03");
    EXPECT_EQ(FormatTimeStamp(LocalTime(0, 0, 0)), "00:00:00");
    EXPECT_EQ(FormatTimeStamp(LocalTime(23, 59, 9)), "23:59:09");
    Transcript t("a", "b");
    EXPECT_EQ(t.Add("x", 0, LocalTime(8, 0, 9)).timeStamp, "08:00:09");
}

class SaveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vessaro-save-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    std::filesystem::path dir_;
};

TEST_F(SaveFileTest, WritesExactlyThePageAndReplacesAnOldFile) {
    Transcript t("me", "peer");
    t.Add(EncodeGbk("请选择").value(), 2);
    std::string page = BuildPage(t.entries());
    auto path = dir_ / "chat.html";
    { std::ofstream(path) << std::string(100000, 'o'); }
    ASSERT_EQ(SaveFileAtomically(path.string(), page), "");
    EXPECT_EQ(Read(path), page);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(SaveFileTest, FailureSaysWhyAndLeavesNothingBehind) {
    auto path = dir_ / "no" / "such" / "chat.html";
    EXPECT_NE(SaveFileAtomically(path.string(), "page"), "");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "no"));

    // A target that cannot be replaced (a directory) keeps what it was, with no stray file.
    auto blocked = dir_ / "blocked.html";
    std::filesystem::create_directory(blocked);
    EXPECT_NE(SaveFileAtomically(blocked.string(), "page"), "");
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

} // namespace
