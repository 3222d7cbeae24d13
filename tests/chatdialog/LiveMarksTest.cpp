#include "LiveMarks.h"

#include "TranscriptPage.h"

#include <gtest/gtest.h>

namespace vessaro {
namespace {

TEST(LiveMarksTest, ResendAddressesRoundTripAndNothingElseAsksForAResend) {
    for (std::size_t index : {std::size_t{0}, std::size_t{7}, std::size_t{123456789}})
        EXPECT_EQ(ResendIndex(ResendUrl(index)), index);
    for (const char* other :
         {"vessaro-page:/resend/", "vessaro-page:/resend/-1", "vessaro-page:/resend/+1",
          "vessaro-page:/resend/1x", "vessaro-page:/resend/ 1", "vessaro-page:/resend/1234567890",
          "vessaro-page:/1", "http://a.example/resend/1"})
        EXPECT_EQ(ResendIndex(QUrl(QString::fromLatin1(other))), std::nullopt) << other;
}

TEST(LiveMarksTest, OnlyAFailedMarkIsALinkAndTheSavedPageHoldsOnlyDeliveredLines) {
    std::vector<ChatEntry> entries(3);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].messageText = "line" + std::to_string(i);
        entries[i].index = i;
    }
    entries[1].delivery = Delivery::Pending;
    entries[2].delivery = Delivery::Failed;

    EXPECT_EQ(LiveEntryHtml(entries[0]), EntryHtml(entries[0]));
    EXPECT_EQ(LiveEntryHtml(entries[1]), EntryHtml(entries[1]));
    const std::string failed = LiveEntryHtml(entries[2]);
    EXPECT_NE(failed.find("href=\"" + ResendUrl(2).toString().toStdString() + "\""),
              std::string::npos);
    EXPECT_NE(failed.find("<span id=" + DeliveryMarkId(entries[2]) + "><a "), std::string::npos);

    EXPECT_EQ(SavedPage(entries), BuildPage({entries[0]}));
    entries[1].delivery = entries[2].delivery = Delivery::Confirmed;
    EXPECT_EQ(SavedPage(entries), BuildPage(entries));
    EXPECT_EQ(LivePage(entries), BuildPage(entries));
}

} // namespace
} // namespace vessaro
