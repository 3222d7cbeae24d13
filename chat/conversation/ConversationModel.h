#pragma once

#include "EngineEvents.h"
#include "Transcript.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vessaro {

// What leaving the window or the session must tell the engine now.
enum class LeaveAction {
    None,   // nothing: the conversation is over, or the engine is still answering our own request
    Refuse, // an offer the user has not accepted
    HangUp, // an accepted offer or a conversation under way
};

// Where an offer stands, as the user's requests and the engine's events have moved it.
enum class ConversationPhase { Offered, AcceptSent, Accepted, Talking, Leaving, Ended };

// One conversation with one offered partner, kept the same way for every view (the chat window,
// vessaro-cli): its system lines, the partner's and the user's lines with their delivery, the
// transcript page they make, and what leaving means at each moment. It is fed the engine's events
// and the user's requests; it calls no engine function itself and knows no widget.
class ConversationModel {
public:
    // The local time that stamps each line.
    using WallClock = std::function<std::time_t()>;

    // What a view is told. Indexes are those of lines().
    struct Observer {
        std::function<void(std::size_t index)> lineAdded;
        std::function<void(std::size_t index)> deliveryChanged;
        std::function<void()> ended;
    };

    // Nicknames in GBK, as the lines are labelled.
    ConversationModel(
        std::string myNickname, std::string peerNickname,
        WallClock clock = [] { return std::time(nullptr); });

    void SetObserver(Observer observer) { observer_ = std::move(observer); }

    // The offer is on show: adds the opening prompt. Call once, before anything else.
    void Open();

    // An engine event (codes above 8 and EVT_SERVER_LOST); the block is only read. Events that
    // change nothing here (EVT_TALK_DATA, unknown codes, outcomes of unknown texts) are ignored.
    void OnEvent(int32_t code, const EventBlock& block);

    // The user accepted the offer (the view has called the engine's accept).
    void AcceptRequested();
    // The user left in the way LeaveAction() gave (the view has made that call): until the engine
    // answers, there is nothing more to tell it.
    void LeaveRequested();
    // The engine took a line of the user's (GBK) under textId (> 0): it is shown at once, pending
    // until its outcome arrives. False, with nothing added, for id 0, an id already in use, or
    // outside the conversation.
    bool TextPosted(uint32_t textId, std::string gbkText);

    // The engine took again, under textId, the text of the user's line at index that had failed:
    // the line is pending once more and keeps its place. False, with nothing changed, when that
    // line is not a failed one of the user's, for a used id, or outside the conversation.
    bool TextReposted(std::size_t index, uint32_t textId);

    LeaveAction Leave() const;
    ConversationPhase phase() const { return phase_; }
    // Only during the conversation proper can a line be sent.
    bool CanSend() const { return phase_ == ConversationPhase::Talking; }

    // The lines, first to last, as the transcript holds them (label, time, colour, text,
    // delivery); the page is BuildPage(lines()).
    const std::vector<ChatEntry>& lines() const { return transcript_.entries(); }
    // The engine's id of the user's line at index; 0 for every other line.
    uint32_t TextIdOf(std::size_t index) const;

private:
    void AddLine(std::string gbkText, int kind, uint32_t textId = 0);
    void AddSystemLine(const char* utf8);
    void Settle(uint32_t textId, Delivery delivery);
    void End();
    bool Over() const { return phase_ == ConversationPhase::Ended; }

    WallClock clock_;
    Transcript transcript_;
    std::vector<uint32_t> textIds_;           // parallel to the transcript's entries
    std::map<uint32_t, std::size_t> pending_; // id of a line awaiting its outcome -> its index
    uint32_t lastTextId_ = 0;                 // the engine's ids only grow
    ConversationPhase phase_ = ConversationPhase::Offered;
    Observer observer_;
};

} // namespace vessaro
