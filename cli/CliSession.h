#pragma once

#include "CliOptions.h"
#include "ConversationModel.h"
#include "EventFormatter.h"
#include "EventInbox.h"
#include "LineReader.h"
#include "Reconnector.h"
#include "Records.h"

#include <chrono>
#include <optional>
#include <string>

namespace vessaro::cli {

// The console client: starts the process-wide engine, then reacts to its events and to the
// user's lines until an orderly quit. Output goes to standard output, diagnostics and refusals to
// standard error.
class CliSession {
public:
    explicit CliSession(CliOptions options);

    // Runs until the user quits (exit code 0) or, when it does not reconnect, the server is lost
    // or refuses (exit code 1).
    int Run();

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Running, LeavingConversation, Disconnecting, Done };

    void HandleEvent(int32_t code, const EventBlock& block);
    void PrintEvent(int32_t code, const EventBlock& block);
    void SessionEnded(int32_t code);
    void Reconnect();
    void HandleLine(const std::string& line);
    void SendText(const std::string& utf8);
    void Save(const std::string& path);
    void StartConversation(const EventBlock& partnerBlock);
    void PrintDelivery(std::size_t index);
    void LeaveConversation();
    void RequestMatch();
    void BeginQuit();
    void Disconnect();
    void CheckQuitProgress();
    int PollTimeoutMs() const;

    void Print(const std::string& line);
    void Refused(const std::string& command);
    void PrintHelp();

    CliOptions options_;
    EventFormatter formatter_;
    EventInbox inbox_;
    // The conversation with the last partner found, kept as the chat window keeps it; /save
    // writes its page.
    std::optional<ConversationModel> conversation_;
    Phase phase_ = Phase::Running;
    Clock::time_point deadline_{};
    Reconnector reconnector_;
    std::optional<std::string> lastNotice_; // a notice is shown only when its text changes
    int exitCode_ = 0;
    bool matchAfterNotice_ =
        false; // an automatic request failed: ask again once the server is heard
};

} // namespace vessaro::cli
