#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vessaro {

// What the server has done since it started, and how many of each thing it holds now.
struct ServerStats {
    std::size_t sessions = 0;
    std::size_t waiting = 0;
    std::size_t conversations = 0;

    uint64_t datagramsIn = 0;
    uint64_t datagramsOut = 0;

    uint64_t droppedAddressRate = 0; // over the datagram rate of one address
    uint64_t droppedTextRate = 0;    // over the text rate of one session
    uint64_t refusedPerAddress = 0;  // connects over the session limit of one address
    uint64_t refusedFull = 0;        // connects while the server is full
    uint64_t droppedMalformed = 0;   // short, unknown, or not a client's message type
    uint64_t droppedUnknownSession = 0;
    uint64_t droppedWrongSender = 0; // a session's id from an address or port not its own
    uint64_t sendFailures = 0;       // datagrams the socket would not take
};

// The periodic stats line, without a line break.
std::string FormatStatsLine(const ServerStats& stats);

} // namespace vessaro
