#pragma once

#include "ReconnectBackoff.h"

#include <cstdint>
#include <optional>

namespace vessaro::cli {

// When vessaro-cli tries its server again after a session ended without the user asking (the
// server was lost, closed the session, or refused or never answered a connect). The waits grow
// as ReconnectBackoff says and start again after a successful connect. Times are milliseconds of
// a monotonic clock, passed in, so the schedule runs the same on any clock.
class Reconnector {
public:
    explicit Reconnector(bool enabled) : enabled_(enabled) {}

    bool enabled() const { return enabled_; }
    // The session ended by itself at nowMs: the wait before the next try, or nothing when the
    // client does not reconnect (off, or leaving).
    std::optional<int64_t> SessionEnded(int64_t nowMs);
    void Connected() { backoff_.Reset(); }
    // The user is leaving: no try is made any more.
    void Cancel();
    // True once, when the pending try has come due.
    bool TakeDue(int64_t nowMs);
    // Milliseconds until the pending try is due (0 when it is), -1 when none is pending.
    int64_t WaitMs(int64_t nowMs) const;

private:
    bool enabled_;
    ReconnectBackoff backoff_;
    std::optional<int64_t> dueMs_;
};

} // namespace vessaro::cli
