#pragma once

#include "EngineEvents.h"
#include "Messages.h"
#include "Records.h"

#include <cstdint>

namespace vessaro {

// The plain-function interface of the one process-wide engine. Each call checks the engine's
// state; 0 means done, -1 refused (or failed). Called on the user interface thread. ClientStart
// (ClientTransport.h) wires the engine to the transport and must come first.

// Stores the callback that receives every event. Register it before ClientConnect.
void ClientSetEventCallback(EngineEventCallback callback);

int ClientConnect();
int ClientDisconnect();
// Moves the engine to another matching server (a host name, IPv4 or IPv6 address, as for
// ClientStart), for the next ClientConnect. Only without a session: -1 while one is open or being
// opened or left, kServerNotFound when the host does not resolve (the server stays as it was).
inline constexpr int kServerNotFound = -2;
int ClientChangeServer(const char* host, uint16_t port);
int ClientRequestMatch(UserProfile profile, MatchRequirement requirement);
int ClientCancelMatch();
int ClientAccept();
int ClientRefuse();
int ClientHangUp();
// Queues a text for the partner and returns at once: the text's id (> 0, increasing), or 0 when
// refused (no conversation open, or 256 texts already wait behind the one on the wire). Exactly
// one EVT_TEXT_CONFIRMED or EVT_TEXT_FAILED with the id follows; when the conversation ends,
// every text not yet confirmed fails, in order, before EVT_TALK_ENDED.
uint32_t ClientPostText(TalkText text);
// Posts a text and blocks until it is confirmed (0) or fails (-1); refused: -1 at once. Blocks for
// up to three waits of 500 ms per text ahead of it and its own. Never call it on a thread that
// runs the dispatcher (the event callback), which would then wait for itself.
int ClientSendText(TalkText text);
// No message exists for sending a file: does nothing and returns 0.
int ClientSendFile(const char* fileName, const uint8_t* data, uint32_t length);

// The engine's current state (CLIENT_STATE_*), for diagnostics and tests.
int ClientState();

// Ends the engine's activity for good: the callback is dropped (no event is reported once this has
// begun), then the transport's threads and the timer service are stopped. Runs by itself at
// process exit; a program that tears down its windows before leaving main should call it first.
// Safe to call more than once.
void ClientShutdown();

} // namespace vessaro
