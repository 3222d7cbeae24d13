#include "EngineHarness.h"

#include "Codec.h"
#include "Console.h"

namespace vessaro::test {

using Types = std::vector<int32_t>;

UserProfile SampleProfile(const char* nickname) {
    UserProfile p = EmptyProfile();
    CopyToField(p.nickname, nickname);
    CopyToField(p.city, "Shenzhen");
    p.sex = SEX_FEMALE;
    p.age = 31;
    return p;
}

MatchRequirement SampleRequirement(const char* topic) {
    MatchRequirement r = EmptyRequirement();
    CopyToField(r.topic, topic);
    r.maxAge = 120;
    return r;
}

EngineHarness::EngineHarness(std::chrono::milliseconds ackWait)
    : engine(
          [this](const uint8_t* data, std::size_t length) {
              std::vector<uint8_t> bytes(data, data + length);
              std::lock_guard lock(mutex_);
              sent_.push_back(std::move(bytes));
              return 0;
          },
          timers, [this](uint32_t tag) { Tick(tag); }, clock, ackWait) {
    engine.SetEventCallback([this](int32_t code, EventBlock block) {
        std::lock_guard lock(mutex_);
        events_.emplace_back(code, std::move(block));
    });
}

int32_t EngineHarness::DriveTo(int32_t state) {
    Walk(state);
    Types types = SentTypes();
    Forget();
    return types.empty() ? 0 : types.back();
}

// The ordinary road: the state each state is reached from, and the step that leads on.
void EngineHarness::Walk(int32_t state) {
    using Step = void (*)(EngineHarness&);
    static const std::pair<int32_t, Step> road[] = {
        {0, [](EngineHarness&) {}},
        {0, [](EngineHarness& h) { h.engine.Connect(); }},
        {1, [](EngineHarness& h) { h.Receive(BuildConnectAck(kSession, 1)); }},
        {2,
         [](EngineHarness& h) {
             h.engine.RequestMatch(SampleProfile("me"), SampleRequirement("topic"));
         }},
        {3, [](EngineHarness& h) { h.ReceiveControl(MSG_MATCH_REQUEST_ACK); }},
        {4, [](EngineHarness& h) { h.engine.CancelMatch(); }},
        {4,
         [](EngineHarness& h) {
             h.Receive(BuildPartnerFound(kSession, kConversation, SampleProfile("partner")));
         }},
        {6, [](EngineHarness& h) { h.engine.Accept(); }},
        {7, [](EngineHarness& h) { h.ReceiveControl(MSG_ACCEPT_ACK); }},
        {6, [](EngineHarness& h) { h.engine.Refuse(); }},
        {8, [](EngineHarness& h) { h.ReceiveControl(MSG_TALK_START); }},
        {10, [](EngineHarness& h) { h.engine.HangUp(); }},
        {2, [](EngineHarness& h) { h.engine.Disconnect(); }},
    };
    if (state != CLIENT_STATE_DISCONNECTED)
        Walk(road[state].first);
    road[state].second(*this);
}

std::vector<std::pair<int32_t, uint32_t>> EngineHarness::TextOutcomes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<int32_t, uint32_t>> outcomes;
    for (const auto& [code, block] : events_)
        if (code == EVT_TEXT_CONFIRMED || code == EVT_TEXT_FAILED || code == EVT_TALK_ENDED)
            outcomes.emplace_back(code, ReadTextIdBlock(block));
    return outcomes;
}

void EngineHarness::Forget() {
    std::lock_guard lock(mutex_);
    sent_.clear();
    events_.clear();
}

std::vector<std::vector<uint8_t>> EngineHarness::Sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<int32_t> EngineHarness::SentTypes() const {
    std::vector<int32_t> types;
    for (const auto& m : Sent())
        types.push_back(DatagramView(m.data(), m.size()).type());
    return types;
}

std::vector<int32_t> EngineHarness::EventCodes() const {
    std::lock_guard lock(mutex_);
    std::vector<int32_t> codes;
    for (const auto& e : events_)
        codes.push_back(e.first);
    return codes;
}

EventBlock EngineHarness::LastBlock() const {
    std::lock_guard lock(mutex_);
    return events_.empty() ? EventBlock{} : events_.back().second;
}

ConsoleCapture::ConsoleCapture() : file_(std::tmpfile()) {
    SetConsoleStream(file_);
}

ConsoleCapture::~ConsoleCapture() {
    SetConsoleStream(nullptr);
    std::fclose(file_);
}

std::string ConsoleCapture::Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
        text.append(buffer, n);
    std::fseek(file_, 0, SEEK_END);
    return text;
}

} // namespace vessaro::test
