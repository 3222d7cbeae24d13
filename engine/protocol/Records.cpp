#include "Records.h"

#include "ByteOrder.h"
#include "Codec.h"

#include <cstring>

namespace vessaro {

UserProfile EmptyProfile() {
    UserProfile p;
    std::memset(&p, 0, sizeof p);
    return p;
}

MatchRequirement EmptyRequirement() {
    MatchRequirement r;
    std::memset(&r, 0, sizeof r);
    return r;
}

void StoreProfile(uint8_t* dst, const UserProfile& p) {
    std::memcpy(dst + offsetof(UserProfile, communityId), p.communityId, kTextFieldSize);
    std::memcpy(dst + offsetof(UserProfile, nickname), p.nickname, kTextFieldSize);
    StoreI32(dst + offsetof(UserProfile, sex), p.sex);
    StoreU32(dst + offsetof(UserProfile, age), p.age);
    std::memcpy(dst + offsetof(UserProfile, occupation), p.occupation, kTextFieldSize);
    std::memcpy(dst + offsetof(UserProfile, city), p.city, kTextFieldSize);
    std::memcpy(dst + offsetof(UserProfile, district), p.district, kTextFieldSize);
    std::memcpy(dst + offsetof(UserProfile, intro), p.intro, kTextFieldSize);
}

UserProfile LoadProfile(const uint8_t* src) {
    UserProfile p;
    std::memcpy(p.communityId, src + offsetof(UserProfile, communityId), kTextFieldSize);
    std::memcpy(p.nickname, src + offsetof(UserProfile, nickname), kTextFieldSize);
    p.sex = LoadI32(src + offsetof(UserProfile, sex));
    p.age = LoadU32(src + offsetof(UserProfile, age));
    std::memcpy(p.occupation, src + offsetof(UserProfile, occupation), kTextFieldSize);
    std::memcpy(p.city, src + offsetof(UserProfile, city), kTextFieldSize);
    std::memcpy(p.district, src + offsetof(UserProfile, district), kTextFieldSize);
    std::memcpy(p.intro, src + offsetof(UserProfile, intro), kTextFieldSize);
    return p;
}

void StoreRequirement(uint8_t* dst, const MatchRequirement& r) {
    std::memcpy(dst + offsetof(MatchRequirement, topic), r.topic, kTextFieldSize);
    StoreI32(dst + offsetof(MatchRequirement, sex), r.sex);
    StoreU32(dst + offsetof(MatchRequirement, minAge), r.minAge);
    StoreU32(dst + offsetof(MatchRequirement, maxAge), r.maxAge);
    std::memcpy(dst + offsetof(MatchRequirement, city), r.city, kTextFieldSize);
    std::memcpy(dst + offsetof(MatchRequirement, district), r.district, kTextFieldSize);
}

MatchRequirement LoadRequirement(const uint8_t* src) {
    MatchRequirement r;
    std::memcpy(r.topic, src + offsetof(MatchRequirement, topic), kTextFieldSize);
    r.sex = LoadI32(src + offsetof(MatchRequirement, sex));
    r.minAge = LoadU32(src + offsetof(MatchRequirement, minAge));
    r.maxAge = LoadU32(src + offsetof(MatchRequirement, maxAge));
    std::memcpy(r.city, src + offsetof(MatchRequirement, city), kTextFieldSize);
    std::memcpy(r.district, src + offsetof(MatchRequirement, district), kTextFieldSize);
    return r;
}

namespace {

// The labels of the profile text, encoded once.
struct ProfileLabels {
    std::string nickname = EncodeGbkOrEmpty("昵称：");
    std::string sex = EncodeGbkOrEmpty("\r\n性别：");
    std::string age = EncodeGbkOrEmpty("\r\n年龄：");
    std::string occupation = EncodeGbkOrEmpty("\r\n职业：");
    std::string location = EncodeGbkOrEmpty("\r\n位置：");
    std::string cityUnit = EncodeGbkOrEmpty("市");
    std::string districtUnit = EncodeGbkOrEmpty("区");
    std::string intro = EncodeGbkOrEmpty("\r\n简介：");
    std::string male = EncodeGbkOrEmpty("男");
    std::string female = EncodeGbkOrEmpty("女");
};

const ProfileLabels& Labels() {
    static const ProfileLabels labels;
    return labels;
}

} // namespace

std::string FormatProfileText(UserProfile p) {
    const ProfileLabels& l = Labels();
    std::string text;
    text.reserve(256);
    text += l.nickname;
    text += FieldText(p.nickname);
    text += l.sex;
    text += p.sex == SEX_MALE ? l.male : l.female;
    text += l.age;
    text += std::to_string(p.age);
    text += l.occupation;
    text += FieldText(p.occupation);
    text += l.location;
    text += FieldText(p.city);
    text += l.cityUnit;
    text += FieldText(p.district);
    text += l.districtUnit;
    text += l.intro;
    text += FieldText(p.intro);
    return text;
}

} // namespace vessaro
