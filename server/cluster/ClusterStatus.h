#pragma once

#include <cstdint>
#include <string>

namespace vessaro::cluster {

// The cluster as the metrics show it.
struct ClusterStatus {
    bool enabled = false;       // the server runs in a cluster
    bool joined = false;        // Redis is reachable and this node counts as live
    uint16_t node = 0;          // this node's number
    uint64_t nodesLive = 0;     // live nodes, this one included (0 while not joined)
    uint64_t framesRefused = 0; // frames dropped: forged, replayed, out of date or malformed
    uint64_t framesDropped = 0; // frames not sent: Redis unreachable or the queue full
    uint64_t rejoins = 0;       // times the link to Redis was lost and found again
    std::string nodeAddress;    // how the other nodes reach this one
};

} // namespace vessaro::cluster
