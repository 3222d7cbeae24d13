#include "CliSession.h"

#include "ClientInterface.h"
#include "ClientStates.h"
#include "ClientTransport.h"
#include "Codec.h"
#include "Console.h"
#include "SaveFile.h"
#include "TerminalText.h"
#include "TranscriptPage.h"

#include <cstdio>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vessaro::cli {
namespace {

constexpr auto kLeaveConversationWait = std::chrono::seconds(8);
constexpr auto kDisconnectWait = std::chrono::seconds(6);
constexpr std::size_t kMaxTextBytes = 511; // the text field keeps its terminator

constexpr const char* kHelp = "命令：\n"
                              "  /match        寻找聊天对象\n"
                              "  /cancel       取消寻找\n"
                              "  /accept       接受找到的对象\n"
                              "  /refuse       拒绝找到的对象\n"
                              "  /hangup       结束对话\n"
                              "  /save 文件名  把最近一次对话存为网页\n"
                              "  /help         显示这些命令\n"
                              "  /quit         退出\n"
                              "其他内容作为一行文字发给对方；以 // 开头的行发送时去掉一个 /。";

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where the engine's trace lines go when nobody asked for them.
std::FILE* Discard() {
    static std::FILE* const discard = std::fopen("/dev/null", "w");
    return discard;
}

bool InConversation(int state) {
    return state >= CLIENT_STATE_PARTNER_FOUND && state <= CLIENT_STATE_HANGUP_SENT;
}

// SIGINT and SIGTERM arrive as readable data on a descriptor, so that an interrupted client still
// leaves the server in order. Blocked before any thread starts, so every thread inherits the mask.
int OpenSignalFd() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    return signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

} // namespace

CliSession::CliSession(CliOptions options)
    : options_(std::move(options)), formatter_(options_.json), reconnector_(options_.reconnect) {}

void CliSession::Print(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CliSession::Refused(const std::string& command) {
    std::fprintf(stderr, "vessaro-cli: %s is not possible now\n", command.c_str());
}

// Help is part of the conversation with a person; a program's standard output stays JSON.
void CliSession::PrintHelp() {
    if (options_.json)
        std::fprintf(stderr, "%s\n", kHelp);
    else
        Print(kHelp);
}

int CliSession::Run() {
    int signals = OpenSignalFd();
    std::FILE* trace = options_.verbose ? stderr : Discard();
    SetConsoleStream(trace ? trace : stderr);
    if (!options_.json) {
        // Nothing goes out that the user has not seen.
        UserProfile profile;
        MatchRequirement requirement;
        FillRecords(options_.values, profile, requirement);
        Print(formatter_.OwnProfile(profile, requirement));
    }
    if (ClientStart(options_.server.c_str(), options_.port) != 0) {
        std::fprintf(stderr, "vessaro-cli: cannot find the server host \"%s\"\n",
                     options_.server.c_str());
        ClientShutdown();
        return 1;
    }
    ClientSetEventCallback(
        [this](int32_t code, EventBlock block) { inbox_.Push(code, std::move(block)); });
    ClientConnect();

    LineReader input(STDIN_FILENO);
    while (phase_ != Phase::Done) {
        pollfd fds[3] = {{inbox_.fd(), POLLIN, 0},
                         {signals, POLLIN, 0},
                         {input.ended() ? -1 : STDIN_FILENO, POLLIN, 0}};
        poll(fds, 3, PollTimeoutMs());
        if (reconnector_.TakeDue(NowMs()))
            Reconnect();
        if (fds[0].revents & POLLIN)
            for (auto& [code, block] : inbox_.TakeAll())
                HandleEvent(code, block);
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info;
            [[maybe_unused]] ssize_t n = read(signals, &info, sizeof info);
            BeginQuit();
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            input.Fill();
            while (auto line = input.Next())
                if (phase_ == Phase::Running)
                    HandleLine(*line);
            if (input.ended())
                BeginQuit();
        }
        CheckQuitProgress();
    }
    ClientShutdown();
    // Events reported on the way out (a connection attempt abandoned) are still shown.
    for (auto& [code, block] : inbox_.TakeAll())
        PrintEvent(code, block);
    if (signals >= 0)
        close(signals);
    return exitCode_;
}

void CliSession::PrintEvent(int32_t code, const EventBlock& block) {
    if (code == EVT_NOTICE) {
        std::string text(ReadNoticeBlock(block).text);
        if (lastNotice_ == text)
            return;
        lastNotice_ = text;
    }
    std::string line = formatter_.Event(code, block);
    if (!line.empty())
        Print(line);
}

void CliSession::HandleEvent(int32_t code, const EventBlock& block) {
    PrintEvent(code, block);
    // The conversation's own lines, delivery and end; the session's events pass it by.
    if (conversation_ && (code > EVT_PARTNER_FOUND || code == EVT_SERVER_LOST))
        conversation_->OnEvent(code, block);
    switch (code) {
    case EVT_CONNECTED:
        reconnector_.Connected();
        if (options_.autoMatch)
            RequestMatch();
        break;
    case EVT_CONNECT_FAILED:
    case EVT_DISCONNECTED:
        SessionEnded(code);
        break;
    case EVT_MATCH_FAILED:
        // Asking again at once would keep the engine out of the state that notices a lost
        // server; the next notice shows that the server is there.
        matchAfterNotice_ = options_.autoMatch;
        break;
    case EVT_NOTICE:
        if (matchAfterNotice_ && phase_ == Phase::Running &&
            ClientState() == CLIENT_STATE_CONNECTED) {
            matchAfterNotice_ = false;
            RequestMatch();
        }
        break;
    case EVT_PARTNER_FOUND:
        StartConversation(block);
        if (options_.autoAccept && phase_ == Phase::Running && ClientAccept() == 0)
            conversation_->AcceptRequested();
        break;
    case EVT_TALK_ENDED:
        if (options_.autoMatch && phase_ == Phase::Running &&
            ClientState() == CLIENT_STATE_CONNECTED)
            RequestMatch();
        break;
    default:
        break;
    }
}

// A session that ends while the user stays is tried again when reconnecting is on; otherwise, or
// while leaving, the program ends (with 1 unless the user left).
void CliSession::SessionEnded(int32_t code) {
    bool left = phase_ == Phase::Disconnecting;
    if (phase_ == Phase::Running) {
        if (auto delay = reconnector_.SessionEnded(NowMs())) {
            Print(formatter_.Reconnecting(*delay));
            return;
        }
    }
    if (!left || code == EVT_CONNECT_FAILED)
        exitCode_ = 1; // the server was lost or refused, not left
    phase_ = Phase::Done;
}

void CliSession::Reconnect() {
    if (phase_ == Phase::Running && ClientState() == CLIENT_STATE_DISCONNECTED)
        ClientConnect();
}

void CliSession::HandleLine(const std::string& line) {
    if (line.empty())
        return;
    if (line.rfind("//", 0) == 0) {
        SendText(line.substr(1));
    } else if (line == "/help") {
        PrintHelp();
    } else if (line == "/quit") {
        BeginQuit();
    } else if (line == "/match") {
        RequestMatch();
    } else if (line == "/cancel") {
        if (ClientCancelMatch() != 0)
            Refused(line);
    } else if (line == "/accept") {
        if (ClientAccept() != 0)
            Refused(line);
        else if (conversation_)
            conversation_->AcceptRequested();
    } else if (line == "/refuse" || line == "/hangup") {
        if ((line == "/refuse" ? ClientRefuse() : ClientHangUp()) != 0)
            Refused(line);
        else if (conversation_)
            conversation_->LeaveRequested();
    } else if (line.rfind("/save", 0) == 0 && (line.size() == 5 || line[5] == ' ')) {
        std::string path = line.size() > 6 ? line.substr(6) : "";
        if (path.empty()) {
            std::fprintf(stderr, "vessaro-cli: /save needs a file name\n");
            return;
        }
        Save(path);
    } else if (line[0] == '/') {
        std::fprintf(stderr,
                     "vessaro-cli: unknown command %s (/help lists them; start a line "
                     "with // to send it as text)\n",
                     TerminalSafe(line).c_str());
    } else {
        SendText(line);
    }
}

void CliSession::SendText(const std::string& utf8) {
    std::optional<std::string> gbk = EncodeGbk(utf8);
    if (!gbk || gbk->size() > kMaxTextBytes) {
        std::fprintf(stderr, "vessaro-cli: %s\n",
                     gbk ? "the line is longer than 511 bytes and was not sent"
                         : "the line is not valid UTF-8 and was not sent");
        Print(formatter_.Sent(gbk ? utf8 : DecodeGbk(utf8), false));
        return;
    }
    // The engine takes the line at once; its outcome is printed when it arrives (PrintDelivery).
    uint32_t textId =
        conversation_ && conversation_->CanSend() ? ClientPostText(MakeTalkText(*gbk)) : 0;
    if (textId == 0 || !conversation_->TextPosted(textId, *gbk))
        Print(formatter_.Sent(utf8, false));
}

void CliSession::StartConversation(const EventBlock& partnerBlock) {
    auto [partner, own] = ReadPartnerBlock(partnerBlock);
    conversation_.emplace(std::string(FieldText(own.nickname)),
                          std::string(FieldText(partner.nickname)));
    ConversationModel::Observer observer;
    observer.deliveryChanged = [this](std::size_t index) { PrintDelivery(index); };
    conversation_->SetObserver(std::move(observer));
    conversation_->Open();
}

void CliSession::PrintDelivery(std::size_t index) {
    const ChatEntry& line = conversation_->lines()[index];
    Print(formatter_.Sent(DecodeGbk(line.messageText), line.delivery == Delivery::Confirmed,
                          conversation_->TextIdOf(index)));
}

// The page of the last conversation, exactly as the chat window shows and saves it (GBK).
void CliSession::Save(const std::string& path) {
    std::string error =
        SaveFileAtomically(path, conversation_ ? BuildPage(conversation_->lines()) : BuildPage({}));
    if (error.empty())
        std::fprintf(stderr, "vessaro-cli: saved to %s\n", path.c_str());
    else
        std::fprintf(stderr, "vessaro-cli: the conversation was not saved to %s: %s\n",
                     path.c_str(), error.c_str());
}

void CliSession::RequestMatch() {
    UserProfile profile;
    MatchRequirement requirement;
    FillRecords(options_.values, profile, requirement);
    if (ClientRequestMatch(profile, requirement) != 0)
        Refused("/match");
}

// Leaving is orderly: an offer is refused or a conversation hung up first, so the partner learns of
// it, then the session is closed and its acknowledgement awaited.
void CliSession::BeginQuit() {
    if (phase_ != Phase::Running)
        return;
    reconnector_.Cancel();
    LeaveConversation();
    if (InConversation(ClientState())) {
        phase_ = Phase::LeavingConversation;
        deadline_ = Clock::now() + kLeaveConversationWait;
        return;
    }
    Disconnect();
}

// Refuses an offer or hangs up a conversation, as the model says; nothing while the engine still
// answers our own accept, refusal or hang-up.
void CliSession::LeaveConversation() {
    if (!conversation_)
        return;
    switch (conversation_->Leave()) {
    case LeaveAction::Refuse:
        ClientRefuse();
        break;
    case LeaveAction::HangUp:
        ClientHangUp();
        break;
    case LeaveAction::None:
        return;
    }
    conversation_->LeaveRequested();
}

void CliSession::Disconnect() {
    if (ClientState() == CLIENT_STATE_DISCONNECTED) {
        phase_ = Phase::Done;
        return;
    }
    if (ClientDisconnect() == 0) {
        phase_ = Phase::Disconnecting;
        deadline_ = Clock::now() + kDisconnectWait;
    } else {
        phase_ = Phase::Done;
    }
}

void CliSession::CheckQuitProgress() {
    if (phase_ == Phase::LeavingConversation &&
        (!InConversation(ClientState()) || Clock::now() >= deadline_))
        Disconnect();
    else if (phase_ == Phase::Disconnecting && Clock::now() >= deadline_)
        phase_ = Phase::Done;
}

int CliSession::PollTimeoutMs() const {
    if (phase_ == Phase::Running)
        return static_cast<int>(reconnector_.WaitMs(NowMs()));
    return 100; // while leaving, look at the engine's state now and then
}

} // namespace vessaro::cli
