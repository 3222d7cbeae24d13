#include "Placement.h"

namespace vessaro::bench {

Placement Placement::Choose() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> allowed;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                allowed.push_back(cpu);
    if (allowed.empty())
        allowed.push_back(0);
    Placement p;
    p.measured = {allowed.front()};
    p.generator =
        allowed.size() > 1 ? std::vector<int>(allowed.begin() + 1, allowed.end()) : p.measured;
    return p;
}

std::string Placement::Describe() const {
    return "measured process on CPU " + CpuList(measured) + ", load generator on CPU " +
           CpuList(generator) + (measured == generator ? " (shared: only one CPU)" : "") +
           " (sched_setaffinity, inherited by the child processes)";
}

bool PinThread(const std::vector<int>& cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus)
        CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

std::string CpuList(const std::vector<int>& cpus) {
    std::string text;
    for (std::size_t i = 0; i < cpus.size();) {
        std::size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1)
            ++j;
        text += (text.empty() ? "" : ",") + std::to_string(cpus[i]);
        if (j > i)
            text += "-" + std::to_string(cpus[j]);
        i = j + 1;
    }
    return text;
}

ScopedPin::ScopedPin(const std::vector<int>& cpus) {
    restore_ = sched_getaffinity(0, sizeof saved_, &saved_) == 0;
    PinThread(cpus);
}

ScopedPin::~ScopedPin() {
    if (restore_)
        sched_setaffinity(0, sizeof saved_, &saved_);
}

} // namespace vessaro::bench
