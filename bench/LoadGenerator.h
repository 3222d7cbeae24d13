#pragma once

#include "ClientSwarm.h"
#include "Figures.h"

#include <cstdint>
#include <vector>

namespace vessaro::bench {

// What one measured stretch of relayed traffic gave.
struct LoadResult {
    double seconds = 0;
    uint64_t delivered = 0;         // texts and acknowledgements the clients received
    double measuredCpuSeconds = 0;  // of the server or forwarder, from /proc
    double generatorCpuSeconds = 0; // of the generator's process, all its threads
    double rttMedian = 0;           // microseconds from a text to its acknowledgement
    double rttP99 = 0;
    uint64_t rttCount = 0;

    double rate() const { return seconds > 0 ? double(delivered) / seconds : 0; }
    double measuredMicrosPerDatagram() const {
        return delivered ? measuredCpuSeconds * 1e6 / double(delivered) : 0;
    }
    double generatorMicrosPerDatagram() const {
        return delivered ? generatorCpuSeconds * 1e6 / double(delivered) : 0;
    }
};

// How the relay load is driven: threads of the generator process, texts each client keeps in
// flight (1: one at a time, its round trip timed), and the seconds measured after a warm-up.
struct LoadShape {
    int threads = 2;
    int window = 1;
    double seconds = 3;
};

// Runs in the generator's process, on clients whose sockets it owns: every client sends texts
// through the middle (server or forwarder) to its partner, which acknowledges them; reads and
// sends go in batches. Reads the CPU time of the middle (measuredPid) over the same stretch.
LoadResult DriveRelayLoad(ClientSwarm& swarm, int measuredPid, const LoadShape& shape);

// CPU seconds this process has used, all threads together.
double OwnCpuSeconds();

} // namespace vessaro::bench
