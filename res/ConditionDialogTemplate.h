#pragma once

#include "DialogTemplate.h"

#include <string>
#include <vector>

namespace vessaro::res {

// Dialog 130: the conditions dialog ("条件设置").
inline constexpr int kConditionDialogId = 130;

namespace condition_ids {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kNickname = 1004;
inline constexpr int kAge = 1005;
inline constexpr int kOwnMale = 1006;
inline constexpr int kOwnFemale = 1007;
inline constexpr int kCity = 1008;
inline constexpr int kDistrict = 1009;
inline constexpr int kCommunityId = 1010;
inline constexpr int kOccupation = 1011;
inline constexpr int kIntro = 1012;
inline constexpr int kPartnerMale = 1013;
inline constexpr int kPartnerFemale = 1014;
inline constexpr int kMinAge = 1015;
inline constexpr int kMaxAge = 1016;
inline constexpr int kPartnerCity = 1017;
inline constexpr int kPartnerDistrict = 1018;
inline constexpr int kTopic = 1027;
inline constexpr int kNoRestriction = 1029; // "不限"
inline constexpr int kLocationAny = 1031;   // location "都可以"
inline constexpr int kSexAny = 1033;        // partner sex "都可以"
} // namespace condition_ids

const DialogTemplate& ConditionDialogTemplate();

// The list of the topic box (1027), in order; the last two entries are empty.
const std::vector<std::string>& TopicList();

} // namespace vessaro::res
