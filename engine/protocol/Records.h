#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vessaro {

// Sex codes shared by both records; SEX_ANY only means something in a requirement.
enum : int32_t { SEX_ANY = 0, SEX_MALE = 1, SEX_FEMALE = 2 };

inline constexpr std::size_t kTextFieldSize = 64; // GBK, NUL-terminated, zero after the NUL

// Who a person is: the local user, or the partner the server offers. The layout is the wire layout
// (before the byte complement) and what the server and the partner's client expect.
struct UserProfile {
    char communityId[kTextFieldSize];
    char nickname[kTextFieldSize];
    int32_t sex;
    uint32_t age;
    char occupation[kTextFieldSize];
    char city[kTextFieldSize];
    char district[kTextFieldSize];
    char intro[kTextFieldSize];
};

// The partner the user asks for. Empty city or district means any.
struct MatchRequirement {
    char topic[kTextFieldSize];
    int32_t sex;
    uint32_t minAge;
    uint32_t maxAge;
    char city[kTextFieldSize];
    char district[kTextFieldSize];
};

inline constexpr std::size_t kUserProfileSize = 392;
inline constexpr std::size_t kMatchRequirementSize = 204;

static_assert(sizeof(UserProfile) == kUserProfileSize);
static_assert(offsetof(UserProfile, communityId) == 0);
static_assert(offsetof(UserProfile, nickname) == 64);
static_assert(offsetof(UserProfile, sex) == 128);
static_assert(offsetof(UserProfile, age) == 132);
static_assert(offsetof(UserProfile, occupation) == 136);
static_assert(offsetof(UserProfile, city) == 200);
static_assert(offsetof(UserProfile, district) == 264);
static_assert(offsetof(UserProfile, intro) == 328);

static_assert(sizeof(MatchRequirement) == kMatchRequirementSize);
static_assert(offsetof(MatchRequirement, topic) == 0);
static_assert(offsetof(MatchRequirement, sex) == 64);
static_assert(offsetof(MatchRequirement, minAge) == 68);
static_assert(offsetof(MatchRequirement, maxAge) == 72);
static_assert(offsetof(MatchRequirement, city) == 76);
static_assert(offsetof(MatchRequirement, district) == 140);

// Zero-filled records, as every record starts out.
UserProfile EmptyProfile();
MatchRequirement EmptyRequirement();

// Byte-exact serialisation (little-endian integers), independent of the host's byte order.
void StoreProfile(uint8_t* dst, const UserProfile& profile);
UserProfile LoadProfile(const uint8_t* src);
void StoreRequirement(uint8_t* dst, const MatchRequirement& requirement);
MatchRequirement LoadRequirement(const uint8_t* src);

// The six-line profile text ("昵称：…\r\n性别：…" and so on), in GBK like the record it comes from.
// Any sex but SEX_MALE reads as female; texts end at their terminator or at the field's end.
std::string FormatProfileText(UserProfile profile);

} // namespace vessaro
