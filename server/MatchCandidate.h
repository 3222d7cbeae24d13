#pragma once

#include "Records.h"

#include <cstdint>
#include <string>

namespace vessaro {

inline constexpr uint32_t kMaxMatchAge = 127;
inline constexpr int32_t kNobody = -1; // a wanted sex that no profile has

// What matching looks at in one request: who the user is and whom the user wants. Texts are the
// GBK bytes of their field up to the terminator, without trailing ASCII blanks (own texts are
// sent as typed, wanted ones trimmed, and "深圳 " should still meet "深圳"). The wanted age range
// has its bounds in order: a reversed range means the range between them. Ages and bounds above
// kMaxMatchAge count as kMaxMatchAge. A profile's sex other than SEX_MALE or SEX_FEMALE is
// unknown (0), and meets only SEX_ANY; a wanted sex other than the three codes is met by nobody.
struct MatchCandidate {
    std::string topic;

    int32_t sex = 0;
    uint32_t age = 0;
    std::string city;
    std::string district;

    int32_t wantSex = SEX_ANY;
    uint32_t minAge = 0;
    uint32_t maxAge = 0;
    std::string wantCity;     // empty: any
    std::string wantDistrict; // empty: any

    static MatchCandidate From(const UserProfile& profile, const MatchRequirement& requirement);
};

// True when person is what wanter asks for: the sex (unless SEX_ANY), the age range, and the
// city and district where given.
bool MeetsRequirement(const MatchCandidate& person, const MatchCandidate& wanter);

// Two users may be paired when each one is what the other asks for. Topics are not looked at.
inline bool Compatible(const MatchCandidate& a, const MatchCandidate& b) {
    return MeetsRequirement(a, b) && MeetsRequirement(b, a);
}

} // namespace vessaro
