#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

namespace vessaro {

// Where a caller that must block until a text is settled waits for it. Only texts somebody waits
// for are recorded, so texts posted without waiting leave nothing behind. Settle is called by the
// engine with its lock held; Wait holds only this board's own lock, so the engine runs on while a
// caller waits.
class TextOutcomes {
public:
    // Registers a wait for `id`; call before the text can be settled.
    void Expect(uint32_t id);
    // Records the outcome of `id` and wakes its waiter; does nothing for a text nobody waits for.
    void Settle(uint32_t id, bool confirmed);
    // Blocks until `id` is settled or the board is closed. True only when it was confirmed.
    bool Wait(uint32_t id);
    // Releases every wait, now and later, as not confirmed: nothing will settle them any more.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable settled_;
    std::map<uint32_t, std::optional<bool>> waits_;
    bool closed_ = false;
};

} // namespace vessaro
