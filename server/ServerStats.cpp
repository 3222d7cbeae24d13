#include "ServerStats.h"

#include <cstdio>

namespace vessaro {

std::string FormatStatsLine(const ServerStats& s) {
    char line[1024];
    std::snprintf(
        line, sizeof line,
        "vessaro-server: sessions %zu, unproven %zu, waiting %zu, conversations %zu, matches "
        "%llu, texts %llu, datagrams in %llu out %llu, dropped: address rate %llu, text rate "
        "%llu, per-address limit %llu, full %llu, malformed %llu, unknown session %llu, wrong "
        "sender %llu, unproven budget %llu, unknown-session replies %llu, send failures %llu",
        s.sessions, s.unprovenSessions, s.waiting, s.conversations,
        (unsigned long long)s.matchesMade, (unsigned long long)s.textsRelayed,
        (unsigned long long)s.datagramsIn, (unsigned long long)s.datagramsOut,
        (unsigned long long)s.droppedAddressRate, (unsigned long long)s.droppedTextRate,
        (unsigned long long)s.refusedPerAddress, (unsigned long long)s.refusedFull,
        (unsigned long long)s.droppedMalformed, (unsigned long long)s.droppedUnknownSession,
        (unsigned long long)s.droppedWrongSender, (unsigned long long)s.droppedUnprovenBudget,
        (unsigned long long)s.droppedUnknownSessionRate, (unsigned long long)s.sendFailures);
    return line;
}

} // namespace vessaro
