#pragma once

#include <cstddef>
#include <cstdint>

namespace vessaro {

// The process-wide transport of the client: one UDP endpoint towards the matching server and the
// stored server address. Every server datagram is handed to the dispatcher by the endpoint's
// receive thread (CommRecvThread) and every timer tick by the timer thread, each through one gate
// that lets one message at a time through, in the order the threads reach it (DispatchGate).

// Called for each message, one at a time, after the message has been checked and made safe (see
// SanitizeReceived), on the receive thread or the timer thread. The client engine installs its
// receive dispatcher here; tests install their own.
using MessageDispatcher = void (*)(const uint8_t* message, std::size_t length);
void SetMessageDispatcher(MessageDispatcher dispatcher);

// Starts the timer service and the endpoint on a free local port with its receive thread, opens
// the way to the dispatcher, then looks the host up: a host name, or an IPv4 or IPv6
// address (the first address the system lists that can be reached is kept). Returns 0, or -1 when
// the host does not resolve (the threads stay running and the server address stays empty) or when
// the endpoint cannot be opened. Runs once per process; later calls return -1 and change nothing.
// When the endpoint cannot be opened nothing is started, so a later call may try again.
int ClientStart(const char* host, uint16_t port);

// Points the started transport at another server, looked up as ClientStart does; from then on
// datagrams go there and only its datagrams are let in. Returns 0, or -1 before ClientStart or
// when the host does not resolve (the server stays what it was). A session belongs to its server:
// the engine allows this only while it has none (ClientChangeServer).
int ClientSetServer(const char* host, uint16_t port);

// Sends one datagram to the matching server (complemented on the wire). Returns 0 when the whole
// datagram was sent, -1 otherwise (also before ClientStart, and for more than 4096 bytes).
int SendToServer(const uint8_t* buffer, int length);

// Closes the way to the dispatcher and stops the receive thread: once it returns no dispatcher
// call is under way and none begins, from the receive thread or from a timer (but for the call
// that asked for the stop itself). Safe to call more than once, and before ClientStart (which then
// still starts). The endpoint stays open, so SendToServer still works; ClientStart also arranges
// for this to run at exit. Never call it with a lock held that the dispatcher takes.
void ClientStopThreads();

// The server address stored by ClientStart: numeric text, dotted for IPv4 and the IPv6 form
// otherwise ("" until a look-up succeeds), and port
// (0 until then). The local UDP port of the endpoint (0 before ClientStart).
const char* ServerIpText();
uint16_t ServerPort();
uint16_t ClientLocalPort();

// Whether a datagram from address:port (numeric text as the endpoint reports it) may reach the
// engine. Once the server's address is known, only datagrams from exactly that address and port
// do: anybody else who knows the client's port
// could otherwise feed it answers, texts or hang-ups of a session that is not theirs. Before the
// look-up has succeeded nothing has been sent, and every datagram is let through.
bool AcceptsSender(const char* address, uint16_t port);

} // namespace vessaro

namespace vessaro {

// The callback of every engine timer: builds the 40-byte MSG_TIMER tick with the tag and hands it
// to the dispatcher, on the calling (timer) thread. Dropped before ClientStart and after
// ClientStopThreads.
void OnTimerTick(uint32_t tag);

} // namespace vessaro
