#include "LiveMarks.h"

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

} // namespace
} // namespace vessaro
