#include "ProfileMaker.h"
#include "MatchCandidate.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

namespace vessaro::bench {
namespace {

MatchCandidate Candidate(const MatchRecords& r) {
    return MatchCandidate::From(r.profile, r.requirement);
}

TEST(BenchProfileMakerTest, SameSeedGivesTheSameUsers) {
    ProfileMaker one(5), two(5), other(6);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        MatchRecords a = one.Next(), b = two.Next(), c = other.Next();
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        differs = differs || std::memcmp(&a, &c, sizeof a) != 0;
    }
    EXPECT_TRUE(differs);
}

TEST(BenchProfileMakerTest, UsersAreVariedAndSomeButNotAllCanBePaired) {
    ProfileMaker maker(1);
    std::vector<MatchCandidate> users;
    std::set<std::string> topics, cities, wantedCities;
    std::set<int32_t> sexes, wantedSexes;
    for (int i = 0; i < 400; ++i) {
        MatchCandidate c = Candidate(maker.Next());
        EXPECT_LE(c.minAge, c.maxAge);
        EXPECT_GE(c.age, 16u);
        EXPECT_LE(c.age, 60u);
        topics.insert(c.topic);
        cities.insert(c.city);
        wantedCities.insert(c.wantCity);
        sexes.insert(c.sex);
        wantedSexes.insert(c.wantSex);
        users.push_back(c);
    }
    EXPECT_GE(topics.size(), 5u);
    EXPECT_GE(cities.size(), 10u);
    EXPECT_GE(wantedCities.size(), 5u); // "" (anywhere) among them
    EXPECT_EQ(sexes, (std::set<int32_t>{SEX_MALE, SEX_FEMALE}));
    EXPECT_EQ(wantedSexes, (std::set<int32_t>{SEX_ANY, SEX_MALE, SEX_FEMALE}));
    int compatible = 0, total = 0;
    for (std::size_t i = 0; i < users.size(); ++i)
        for (std::size_t j = i + 1; j < users.size(); ++j, ++total)
            compatible += Compatible(users[i], users[j]);
    EXPECT_GT(compatible, total / 100);
    EXPECT_LT(compatible, total / 2);
}

TEST(BenchProfileMakerTest, PairableUsersMeetOnlyTheirOwnPartner) {
    for (int pair = 0; pair < 5; ++pair) {
        MatchCandidate a = Candidate(ProfileMaker::Pairable(pair, 0));
        MatchCandidate b = Candidate(ProfileMaker::Pairable(pair, 1));
        MatchCandidate next = Candidate(ProfileMaker::Pairable(pair + 1, 0));
        EXPECT_TRUE(Compatible(a, b));
        EXPECT_EQ(a.topic, b.topic);
        EXPECT_NE(a.topic, next.topic); // only the same topic pairs them at once
    }
}

} // namespace
} // namespace vessaro::bench
