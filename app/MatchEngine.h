#pragma once

#include "EngineEvents.h"
#include "Records.h"

#include <cstdint>
#include <string>

namespace vessaro {

// The engine calls the matching window makes, behind an interface so that tests can record them
// and script their results. The process-wide engine (ClientStart and the Client* functions) stands
// behind Process(). Every call returns 0 when done, -1 when refused or failed.
class MatchEngine {
public:
    virtual ~MatchEngine() = default;

    virtual int Start(const std::string& host, uint16_t port) = 0;
    virtual void SetEventCallback(EngineEventCallback callback) = 0;
    virtual int Connect() = 0;
    virtual int RequestMatch(const UserProfile& profile, const MatchRequirement& requirement) = 0;
    virtual int CancelMatch() = 0;
    virtual int Disconnect() = 0;
    // For the next Connect, only without a session: -1 refused, kServerNotFound (-2) when the
    // host does not resolve.
    virtual int ChangeServer(const std::string& host, uint16_t port) = 0;

    static MatchEngine& Process();
};

} // namespace vessaro
