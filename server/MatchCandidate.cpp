#include "MatchCandidate.h"

#include "Codec.h"

#include <algorithm>

namespace vessaro {
namespace {

std::string FieldKey(const char (&field)[kTextFieldSize]) {
    std::string_view text = FieldText(field);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n' || text.back() == '\v' || text.back() == '\f'))
        text.remove_suffix(1);
    return std::string(text);
}

uint32_t ClampAge(uint32_t age) {
    return std::min(age, kMaxMatchAge);
}

} // namespace

MatchCandidate MatchCandidate::From(const UserProfile& profile,
                                    const MatchRequirement& requirement) {
    MatchCandidate c;
    c.topic = FieldKey(requirement.topic);
    c.sex = profile.sex == SEX_MALE || profile.sex == SEX_FEMALE ? profile.sex : SEX_ANY;
    c.age = ClampAge(profile.age);
    c.city = FieldKey(profile.city);
    c.district = FieldKey(profile.district);
    const int32_t wanted = requirement.sex;
    c.wantSex = wanted == SEX_ANY || wanted == SEX_MALE || wanted == SEX_FEMALE ? wanted : kNobody;
    c.minAge = ClampAge(std::min(requirement.minAge, requirement.maxAge));
    c.maxAge = ClampAge(std::max(requirement.minAge, requirement.maxAge));
    c.wantCity = FieldKey(requirement.city);
    c.wantDistrict = FieldKey(requirement.district);
    return c;
}

bool MeetsRequirement(const MatchCandidate& person, const MatchCandidate& wanter) {
    return (wanter.wantSex == SEX_ANY || wanter.wantSex == person.sex) &&
           person.age >= wanter.minAge && person.age <= wanter.maxAge &&
           (wanter.wantCity.empty() || wanter.wantCity == person.city) &&
           (wanter.wantDistrict.empty() || wanter.wantDistrict == person.district);
}

} // namespace vessaro
