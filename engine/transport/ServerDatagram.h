#pragma once

#include <cstdint>

namespace vessaro {

// Readies a server datagram, already complemented back, for the dispatcher: the real sender's
// address and port are stamped into its header (an address text too long for the field, as most
// IPv6 ones are, as ""). The buffer must hold 4096 bytes; a datagram shorter than the stamp keeps
// only what it had. False for an empty datagram and for one of type MSG_TIMER, which is dropped:
// ticks come only from our own timers, never from the network.
bool PrepareServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port);

// The receive callback of the client's endpoint, run on CommRecvThread: for datagrams from the
// server only (AcceptsSender), PrepareServerDatagram, then the dispatcher, on this thread.
int OnServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port);

} // namespace vessaro
