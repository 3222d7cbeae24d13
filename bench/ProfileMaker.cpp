#include "ProfileMaker.h"

#include "Codec.h"

#include <algorithm>
#include <array>

namespace vessaro::bench {
namespace {

constexpr std::array<const char*, 6> kTopics{"music", "movies", "travel", "games", "books", "chat"};
constexpr std::array<const char*, 12> kCities{"Beijing", "Shanghai", "Guangzhou", "Shenzhen",
                                              "Chengdu", "Hangzhou", "Wuhan",     "Xian",
                                              "Nanjing", "Tianjin",  "Suzhou",    "Chongqing"};
constexpr uint32_t kDistricts = 8;

void Put(char (&field)[kTextFieldSize], const std::string& text) {
    CopyToField(field, text);
}

} // namespace

MatchRecords ProfileMaker::Next() {
    MatchRecords r{EmptyProfile(), EmptyRequirement()};
    const uint32_t serial = uint32_t(random_());
    Put(r.profile.nickname, "user" + std::to_string(serial % 1000000));
    r.profile.sex = Pick(2) == 0 ? SEX_MALE : SEX_FEMALE;
    r.profile.age = 16 + Pick(45);
    const char* city = kCities[Pick(kCities.size())];
    Put(r.profile.city, city);
    Put(r.profile.district, "district" + std::to_string(Pick(kDistricts)));
    Put(r.requirement.topic, kTopics[Pick(kTopics.size())]);

    // Half want anyone of either sex; the others want the other sex.
    r.requirement.sex =
        Pick(2) == 0 ? SEX_ANY : (r.profile.sex == SEX_MALE ? SEX_FEMALE : SEX_MALE);
    const uint32_t width = Pick(3) == 0 ? 80 : 5 + Pick(20);
    const uint32_t low = r.profile.age > width / 2 ? r.profile.age - width / 2 : 0;
    r.requirement.minAge = std::max<uint32_t>(16, low);
    r.requirement.maxAge = std::min<uint32_t>(127, low + width);
    switch (Pick(4)) {
    case 0: // the own city
        Put(r.requirement.city, city);
        break;
    case 1: // the own district
        Put(r.requirement.city, city);
        Put(r.requirement.district, r.profile.district);
        break;
    default: // anywhere
        break;
    }
    return r;
}

MatchRecords ProfileMaker::NextWaiting() {
    MatchRecords r = Next();
    r.profile.sex = SEX_MALE;
    r.requirement.sex = SEX_FEMALE;
    return r;
}

MatchRecords ProfileMaker::Pairable(int pair, int side) {
    MatchRecords r{EmptyProfile(), EmptyRequirement()};
    Put(r.profile.nickname, "pair" + std::to_string(pair) + (side ? "b" : "a"));
    r.profile.sex = side ? SEX_FEMALE : SEX_MALE;
    r.profile.age = 30;
    Put(r.requirement.topic, "pair-topic-" + std::to_string(pair));
    r.requirement.sex = SEX_ANY;
    r.requirement.minAge = 0;
    r.requirement.maxAge = 127;
    return r;
}

} // namespace vessaro::bench
