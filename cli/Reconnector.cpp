#include "Reconnector.h"

#include <algorithm>

namespace vessaro::cli {

std::optional<int64_t> Reconnector::SessionEnded(int64_t nowMs) {
    if (!enabled_)
        return std::nullopt;
    int64_t delay = backoff_.NextDelayMs();
    dueMs_ = nowMs + delay;
    return delay;
}

void Reconnector::Cancel() {
    enabled_ = false;
    dueMs_.reset();
}

bool Reconnector::TakeDue(int64_t nowMs) {
    if (!dueMs_ || nowMs < *dueMs_)
        return false;
    dueMs_.reset();
    return true;
}

int64_t Reconnector::WaitMs(int64_t nowMs) const {
    if (!dueMs_)
        return -1;
    return std::max<int64_t>(0, *dueMs_ - nowMs);
}

} // namespace vessaro::cli
