#pragma once

#include "CMsgQueue.h"

#include <cstdint>

namespace vessaro {

// What goes into the loopback queue.

// A server datagram, already complemented back: the real sender's address and port are stamped
// into its header (an address text too long for the field, as most IPv6 ones are, as ""), then it
// is queued with its received length. The buffer must hold 4096 bytes; a datagram shorter than the
// stamp keeps only what it had. A datagram of type MSG_TIMER is dropped (returns 0): ticks come
// only from our own timers, never from the network. Returns what the queue's Send returned.
int ForwardServerDatagram(CMsgQueue& queue, uint8_t* buffer, int length, const char* address,
                          uint16_t port);

// The receive callback of the client's endpoint: ForwardServerDatagram into the client's queue,
// for datagrams from the server only (AcceptsSender).
int OnServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port);

// The 40-byte MSG_TIMER tick with the tag, uncomplemented. Returns what Send returned.
int PutTimerTick(CMsgQueue& queue, uint32_t tag);

} // namespace vessaro
