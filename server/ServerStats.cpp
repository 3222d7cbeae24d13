#include "ServerStats.h"

#include <cstdio>

namespace vessaro {

std::string FormatStatsLine(const ServerStats& s) {
    char line[512];
    std::snprintf(
        line, sizeof line,
        "vessaro-server: sessions %zu, waiting %zu, conversations %zu, datagrams in %llu "
        "out %llu, dropped: address rate %llu, text rate %llu, per-address limit %llu, "
        "full %llu, malformed %llu, unknown session %llu, wrong sender %llu, send failures %llu",
        s.sessions, s.waiting, s.conversations, (unsigned long long)s.datagramsIn,
        (unsigned long long)s.datagramsOut, (unsigned long long)s.droppedAddressRate,
        (unsigned long long)s.droppedTextRate, (unsigned long long)s.refusedPerAddress,
        (unsigned long long)s.refusedFull, (unsigned long long)s.droppedMalformed,
        (unsigned long long)s.droppedUnknownSession, (unsigned long long)s.droppedWrongSender,
        (unsigned long long)s.sendFailures);
    return line;
}

} // namespace vessaro
