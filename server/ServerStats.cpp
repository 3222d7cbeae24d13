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
        "sender %llu, unproven budget %llu, unknown-session replies %llu, send failures %llu, "
        "socket drops %llu",
        s.sessions, s.unprovenSessions, s.waiting, s.conversations,
        (unsigned long long)s.matchesMade, (unsigned long long)s.textsRelayed,
        (unsigned long long)s.datagramsIn, (unsigned long long)s.datagramsOut,
        (unsigned long long)s.droppedAddressRate, (unsigned long long)s.droppedTextRate,
        (unsigned long long)s.refusedPerAddress, (unsigned long long)s.refusedFull,
        (unsigned long long)s.droppedMalformed, (unsigned long long)s.droppedUnknownSession,
        (unsigned long long)s.droppedWrongSender, (unsigned long long)s.droppedUnprovenBudget,
        (unsigned long long)s.droppedUnknownSessionRate, (unsigned long long)s.sendFailures,
        (unsigned long long)s.socketDrops);
    std::string text = line;
    if (s.remoteWaiting + s.clusterMessagesSent + s.clusterMessagesIn == 0)
        return text;
    std::snprintf(
        line, sizeof line,
        "; cluster: remote waiting %zu, claims sent %llu won %llu lost %llu granted %llu "
        "refused %llu, node messages out %llu in %llu refused %llu",
        s.remoteWaiting, (unsigned long long)s.clusterClaimsSent,
        (unsigned long long)s.clusterClaimsWon, (unsigned long long)s.clusterClaimsLost,
        (unsigned long long)s.clusterClaimsGranted, (unsigned long long)s.clusterClaimsRefused,
        (unsigned long long)s.clusterMessagesSent, (unsigned long long)s.clusterMessagesIn,
        (unsigned long long)s.clusterMessagesRefused);
    return text + line;
}

} // namespace vessaro
