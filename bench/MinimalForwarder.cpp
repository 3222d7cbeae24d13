#include "MinimalForwarder.h"

#include "DatagramBatch.h"

#include <new>
#include <poll.h>
#include <sys/mman.h>

namespace vessaro::bench {

MinimalForwarder::MinimalForwarder() {
    EnlargeBuffers(socket_.fd());
    void* page = mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    shared_ = page == MAP_FAILED ? &unshared_ : new (page) std::atomic<uint64_t>(0);
}

MinimalForwarder::~MinimalForwarder() {
    worker_.reset();
    if (shared_ != &unshared_)
        munmap(shared_, sizeof(std::atomic<uint64_t>));
}

void MinimalForwarder::AddPair(const UdpAddress& a, const UdpAddress& b) {
    partners_[Key(a)] = b;
    partners_[Key(b)] = a;
}

bool MinimalForwarder::Start(const std::vector<int>& cpus) {
    worker_ = std::make_unique<ForkedWorker>(cpus, [this](WorkerChannel& c) { return Run(c); });
    return worker_->started();
}

int MinimalForwarder::Run(WorkerChannel& channel) {
    DatagramBatch batch;
    pollfd p{socket_.fd(), POLLIN, 0};
    // The parent's stop is looked for only when idle and every thousandth batch, so that the
    // baseline does not pay a system call per batch that the server does not.
    for (uint64_t round = 1;; ++round) {
        if (batch.Receive(socket_.fd()) == 0) {
            if (channel.StopAsked())
                return 0;
            poll(&p, 1, 50);
            continue;
        }
        if (round % 1024 == 0 && channel.StopAsked())
            return 0;
        // Datagrams of strangers are dropped by sending the ones that have a partner first.
        int kept = 0;
        for (int i = 0; i < batch.size(); ++i) {
            auto it = partners_.find(Key(batch.peer(i)));
            if (it == partners_.end())
                continue;
            if (kept != i)
                batch.MoveTo(i, kept);
            batch.Redirect(kept++, it->second);
        }
        batch.Truncate(kept);
        shared_->fetch_add(uint64_t(batch.Send(socket_.fd())), std::memory_order_relaxed);
    }
}

} // namespace vessaro::bench
