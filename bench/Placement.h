#pragma once

#include <sched.h>
#include <string>
#include <vector>

namespace vessaro::bench {

// Which CPUs each process of a measurement runs on: the process measured (the server or its
// baseline) alone on one CPU, the load generator on the others, so that neither steals the
// other's time and the CPU time per datagram belongs to the process it is charged to.
struct Placement {
    std::vector<int> measured;  // the server, the forwarder
    std::vector<int> generator; // the load generator's processes and threads

    // The first CPU this process may use for the measured process, the others for the generator;
    // both share the one CPU of a machine that has no other.
    static Placement Choose();
    // E.g. "server/baseline on CPU 0, load generator on CPU 1 (sched_setaffinity, inherited by
    // the child processes)".
    std::string Describe() const;
};

// Pins the calling thread to the CPUs; false when the system refuses.
bool PinThread(const std::vector<int>& cpus);
// "0" or "1-3" style list of the CPUs.
std::string CpuList(const std::vector<int>& cpus);

// Pins the calling thread for its lifetime and then restores its mask: processes forked or
// started meanwhile keep the pinning.
class ScopedPin {
public:
    explicit ScopedPin(const std::vector<int>& cpus);
    ~ScopedPin();
    ScopedPin(const ScopedPin&) = delete;
    ScopedPin& operator=(const ScopedPin&) = delete;

private:
    cpu_set_t saved_;
    bool restore_ = false;
};

} // namespace vessaro::bench
