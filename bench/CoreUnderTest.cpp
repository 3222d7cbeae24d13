#include "CoreUnderTest.h"

namespace vessaro::bench {
namespace {

ServerConfig Config() {
    ServerConfig c;
    c.maxSessions = 10000000;
    c.maxSessionsPerAddress = 10000000;
    c.datagramsPerSecondPerAddress = 1e12;
    c.maxTrackedAddresses = 10000000;
    // Every user comes from one of a few networks: their grants must not wait for budget.
    c.unprovenBytesPerSecondPerNetwork = 1e15;
    return c;
}

} // namespace

CoreUnderTest::CoreUnderTest()
    : core_(
          Config(), [this](const Endpoint&, std::span<const uint8_t> d) { OnSent(d); },
          [this] { return uint32_t(random_()); }) {
    core_.OnTimer(kNow);
}

int32_t CoreUnderTest::Connect() {
    const Endpoint from{0x0A000000u + uint32_t(nextClient_++), 4000};
    core_.OnDatagram(from, BuildControl(MSG_CONNECT), kNow);
    endpoints_[lastGranted_] = from;
    return lastGranted_;
}

void CoreUnderTest::Prove(int32_t session) {
    core_.OnDatagram(endpoints_[session], BuildControl(MSG_NOTICE_ACK, session), kNow);
}

void CoreUnderTest::Request(int32_t session, const MatchRecords& r) {
    core_.OnDatagram(endpoints_[session], BuildMatchRequest(session, r.profile, r.requirement),
                     kNow);
}

CoreUnderTest::Arriving CoreUnderTest::Prepare(int32_t session, const MatchRecords& r) {
    auto bytes = BuildMatchRequest(session, r.profile, r.requirement);
    return {endpoints_[session], std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

void CoreUnderTest::OnSent(std::span<const uint8_t> d) {
    DatagramView m(d);
    if (m.type() == MSG_CONNECT_ACK)
        lastGranted_ = m.sessionId();
    else if (m.type() == MSG_PARTNER_FOUND)
        ++offers_;
}

} // namespace vessaro::bench
