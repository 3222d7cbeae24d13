#include "RedisCredentials.h"
#include "PrivateFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vessaro::cluster {
namespace {

TEST(RedisCredentials, APasswordFileHoldsOneOrTwoWordsOnOneLine) {
    struct Case {
        std::string text;
        std::string user, password, refused; // refused: "" when it is taken
    } cases[] = {
        {"pw\r\n", "", "pw", ""},
        {"  node\t pw  \n\n \n", "node", "pw", ""},
        {" \t \r\n", "", "", "is empty"},
        {"a b pw\n", "", "", "more than two words"},
        {"node\npw\n", "", "", "more than one line"},
        {std::string("pw\0x", 4), "", "", "control character"},
    };
    for (const Case& c : cases) {
        std::string error;
        std::optional<RedisCredentials> got = ParseRedisCredentials(c.text, error);
        EXPECT_EQ(got.has_value(), c.refused.empty()) << c.text;
        if (got) {
            EXPECT_EQ(got->user, c.user) << c.text;
            EXPECT_EQ(got->password, c.password) << c.text;
        } else {
            EXPECT_NE(error.find(c.refused), std::string::npos) << error;
            EXPECT_EQ(error.find("pw"), std::string::npos) << "the content quoted: " << error;
        }
    }
}

TEST(RedisCredentials, OnlyFilesClosedToOtherUsersMayHoldASecret) {
    const std::tuple<mode_t, bool, const char*> cases[] = {
        {S_IFREG | 0600, false, ""},
        {S_IFREG | 0640, true, ""},
        {S_IFREG | 0640, false, "readable by a group the server does not run as"},
        {S_IFREG | 0620, true, "writable by its group"},
        {S_IFREG | 0604, true, "open to every user of the machine (mode 0604;"},
        {S_IFREG | 0601, true, "open to every user"},
        {S_IFIFO | 0600, true, "not a regular file"},
    };
    for (const auto& [mode, groupIsOwn, problem] : cases) {
        const std::string found = PrivateFileProblem(mode, groupIsOwn);
        EXPECT_EQ(found.empty(), *problem == 0) << std::oct << mode << " " << found;
        EXPECT_NE(found.find(problem), std::string::npos) << std::oct << mode << " " << found;
    }
}

} // namespace
} // namespace vessaro::cluster
