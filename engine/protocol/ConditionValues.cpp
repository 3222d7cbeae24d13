#include "ConditionValues.h"

#include "Codec.h"

namespace vessaro {
namespace {

void CopyUtf8(std::span<char> field, const std::string& utf8) {
    CopyToField(field, EncodeGbk(utf8).value_or(""));
}

} // namespace

std::string TrimRight(std::string text) {
    std::size_t end = text.find_last_not_of(" \t\r\n\v\f");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

void FillRecords(ConditionValues& v, UserProfile& profile, MatchRequirement& requirement) {
    profile = EmptyProfile();
    requirement = EmptyRequirement();

    CopyUtf8(profile.communityId, v.communityId);
    CopyUtf8(profile.nickname, v.nickname);
    profile.sex = v.ownSexIndex + 1;
    profile.age = v.age;
    CopyUtf8(profile.occupation, v.occupation);
    CopyUtf8(profile.city, v.city);
    CopyUtf8(profile.district, v.district);
    CopyUtf8(profile.intro, v.intro);

    CopyUtf8(requirement.topic, v.topic);
    if (v.noRestriction) {
        requirement.sex = SEX_ANY;
        requirement.minAge = kAnyMinAge;
        requirement.maxAge = kAnyMaxAge;
        return;
    }
    requirement.sex = v.sexAny ? SEX_ANY : v.partnerSexIndex + 1;
    requirement.minAge = v.minAge;
    requirement.maxAge = v.maxAge;
    v.partnerCity = TrimRight(v.partnerCity);
    v.partnerDistrict = TrimRight(v.partnerDistrict);
    if (!v.locationAny) {
        CopyUtf8(requirement.city, v.partnerCity);
        CopyUtf8(requirement.district, v.partnerDistrict);
    }
}

} // namespace vessaro
