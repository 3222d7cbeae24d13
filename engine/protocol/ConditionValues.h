#pragma once

#include "Records.h"

#include <cstdint>
#include <string>

namespace vessaro {

// The values of the conditions dialog: who the user is and whom the user wants to meet. Texts are
// UTF-8. The defaults are the dialog's values when it first opens.
struct ConditionValues {
    // Own profile.
    std::string nickname = "未名";
    std::string communityId;
    int ownSexIndex = 0; // 0 男, 1 女
    uint32_t age = 24;
    std::string city = "深圳";
    std::string district = "南山";
    std::string occupation = "计算机";
    std::string intro = "自我介绍";

    std::string topic = "谈天说地";

    // Partner wanted.
    bool noRestriction = true; // "不限": no requirement at all
    bool sexAny = true;        // sex "都可以"
    int partnerSexIndex = 1;   // 0 男, 1 女
    uint32_t minAge = 12;
    uint32_t maxAge = 99;
    bool locationAny = true; // location "都可以"
    std::string partnerCity = "深圳";
    std::string partnerDistrict;
};

// Input limits in GBK bytes, and the age range that input accepts.
namespace limits {
inline constexpr std::size_t kNickname = 32;
inline constexpr std::size_t kTopic = 16;
inline constexpr std::size_t kCity = 32;
inline constexpr std::size_t kDistrict = 32;
inline constexpr std::size_t kOccupation = 32;
inline constexpr std::size_t kIntro = 128;
inline constexpr std::size_t kCommunityId = 32;
inline constexpr uint32_t kMinAge = 12;
inline constexpr uint32_t kMaxAge = 99;
} // namespace limits

// The requirement bounds sent when "不限" is ticked; not the input's age range.
inline constexpr uint32_t kAnyMinAge = 0;
inline constexpr uint32_t kAnyMaxAge = 120;

// Removes trailing ASCII white space.
std::string TrimRight(std::string text);

// Fills both records from the values: the profile as entered, the requirement as the three boxes
// say. Also trims the partner city and district in values, as the dialog's stored values are
// trimmed when a requirement is filled from them. Texts longer than a field are cut on a
// character boundary (the self-introduction takes up to 128 bytes, the field 63).
void FillRecords(ConditionValues& values, UserProfile& profile, MatchRequirement& requirement);

} // namespace vessaro
