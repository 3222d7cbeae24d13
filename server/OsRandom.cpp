#include "OsRandom.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/random.h>

namespace vessaro {

uint32_t OsRandom::Next() {
    if (used_ == block_.size()) {
        auto* bytes = reinterpret_cast<uint8_t*>(block_.data());
        std::size_t filled = 0;
        while (filled < sizeof block_) {
            ssize_t n = getrandom(bytes + filled, sizeof block_ - filled, 0);
            if (n > 0) {
                filled += std::size_t(n);
            } else if (errno != EINTR) {
                // Guessable ids would let anyone take over sessions: better not to run at all.
                std::perror("vessaro-server: getrandom");
                std::abort();
            }
        }
        used_ = 0;
    }
    return block_[used_++];
}

} // namespace vessaro
