#include "SimClient.h"

#include "WireTransform.h"

#include <algorithm>
#include <cstring>

namespace vessaro::test {

namespace {

std::vector<uint8_t> Complemented(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out(bytes.size());
    CommInvertBytes(bytes.data(), out.data(), int(bytes.size()));
    return out;
}

} // namespace

SimClient::SimClient(Endpoint address, Endpoint server, WireOut out, TimerService& timers,
                     Clock& clock)
    : address_(address), server_(server), out_(std::move(out)),
      engine_(
          [this](const uint8_t* data, std::size_t length) {
              out_(Complemented({data, length}));
              return 0;
          },
          timers,
          [this](uint32_t tag) {
              auto tick = BuildTimerTick(tag);
              engine_.Dispatch(tick.data(), tick.size());
          },
          clock) {
    engine_.SetEventCallback([this](int32_t code, EventBlock block) {
        events_.push_back({code, std::move(block)});
    });
}

void SimClient::Receive(const Endpoint& from, std::span<const uint8_t> wire) {
    if (!(from == server_))
        return;
    std::vector<uint8_t> message = Complemented(wire);
    engine_.Dispatch(message.data(), message.size());
}

void SimClient::HandOnEvents() {
    // onEvent may call the engine, which may record more events: index, never iterate.
    while (handedOn_ < events_.size()) {
        Event event = events_[handedOn_++];
        if (onEvent)
            onEvent(*this, event);
    }
}

std::size_t SimClient::Count(int32_t code) const {
    return std::size_t(std::count_if(events_.begin(), events_.end(),
                                     [&](const Event& e) { return e.code == code; }));
}

std::vector<int32_t> SimClient::Codes(std::initializer_list<int32_t> only) const {
    std::vector<int32_t> codes;
    for (const Event& e : events_)
        if (std::find(only.begin(), only.end(), e.code) != only.end())
            codes.push_back(e.code);
    return codes;
}

std::vector<std::string> SimClient::TextsShown() const {
    std::vector<std::string> texts;
    for (const Event& e : events_)
        if (e.code == EVT_TALK_TEXT) {
            TalkText t = ReadTalkTextBlock(e.block);
            texts.emplace_back(t.text, strnlen(t.text, sizeof t.text));
        }
    return texts;
}

std::vector<uint32_t> SimClient::TextIds(int32_t code) const {
    std::vector<uint32_t> ids;
    for (const Event& e : events_)
        if (e.code == code)
            ids.push_back(ReadTextIdBlock(e.block));
    return ids;
}

} // namespace vessaro::test
