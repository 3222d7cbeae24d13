#pragma once

#include "ClientStates.h"
#include "MatchEngine.h"

#include <QStringList>

#include <mutex>
#include <thread>
#include <vector>

namespace vessaro::test {

// Stands in for the process-wide engine: records the window's calls, answers ClientDisconnect
// as the engine does for its state, and reports events from a thread of its own through the
// registered callback, as the engine's processing thread does.
class FakeMatchEngine : public MatchEngine {
public:
    int Start(const std::string& host, uint16_t port) override {
        calls << QStringLiteral("start %1:%2").arg(QString::fromStdString(host)).arg(port);
        return 0;
    }
    void SetEventCallback(EngineEventCallback callback) override {
        std::lock_guard lock(mutex_);
        callback_ = std::move(callback);
        calls << (callback_ ? QStringLiteral("callback") : QStringLiteral("callback cleared"));
    }
    int Connect() override {
        calls << QStringLiteral("connect");
        return connectResult;
    }
    int RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) override {
        calls << QStringLiteral("request");
        requests.push_back({profile, requirement});
        return 0;
    }
    int CancelMatch() override {
        calls << QStringLiteral("cancel");
        return 0;
    }
    // Refused with a session, as the engine does; changeResult scripts the look-up.
    int ChangeServer(const std::string& host, uint16_t port) override {
        calls << QStringLiteral("change %1:%2").arg(QString::fromStdString(host)).arg(port);
        if (state != CLIENT_STATE_DISCONNECTED)
            return -1;
        return changeResult;
    }
    // The engine's answer by state: state 1 abandons the attempt and reports EVT_DISCONNECTED
    // (on the caller's thread), states 2 to 5 send the disconnect, the rest refuse.
    int Disconnect() override {
        calls << QStringLiteral("disconnect");
        if (state == CLIENT_STATE_CONNECT_SENT) {
            state = CLIENT_STATE_DISCONNECTED;
            Report(EVT_DISCONNECTED, {});
            return -1;
        }
        if (state >= CLIENT_STATE_CONNECTED && state <= CLIENT_STATE_MATCH_CANCEL_SENT) {
            state = CLIENT_STATE_DISCONNECT_SENT;
            return 0;
        }
        return -1;
    }

    // An event from the engine's thread.
    void Emit(int32_t code, EventBlock block = {}) {
        std::thread([this, code, b = std::move(block)]() mutable {
            Report(code, std::move(b));
        }).join();
    }
    bool hasCallback() {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(callback_);
    }
    int count(const QString& call) const { return static_cast<int>(calls.count(call)); }

    int32_t state = CLIENT_STATE_DISCONNECTED;
    int connectResult = 0;
    int changeResult = 0;
    QStringList calls;
    struct Request {
        UserProfile profile;
        MatchRequirement requirement;
    };
    std::vector<Request> requests;

private:
    void Report(int32_t code, EventBlock block) {
        std::lock_guard lock(mutex_);
        if (callback_)
            callback_(code, std::move(block));
    }

    std::mutex mutex_;
    EngineEventCallback callback_;
};

} // namespace vessaro::test
