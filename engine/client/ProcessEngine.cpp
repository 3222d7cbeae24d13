// The one engine of the process behind the Client* functions.
//
// It is created by the first Client* call. The window calls ClientStart, then
// ClientSetEventCallback, then ClientConnect, so the engine and its receive dispatcher are in place
// before the first datagram is sent (by ClientConnect) and therefore before any answer can arrive.
//
// Server datagrams reach the dispatcher on the receive thread and timer ticks on the timer thread,
// one at a time through the transport's gate, and the dispatcher takes the engine lock for each
// whole message. The engine is never destroyed, so neither thread can ever reach a destroyed
// engine. Process exit runs ClientShutdown, which drops the event callback under the engine lock
// (an event under way finishes first, none follows), then closes the way to the dispatcher and
// stops the threads and timers.
#include "ClientEngine.h"
#include "ClientInterface.h"
#include "ClientTransport.h"
#include "Console.h"
#include "Timers.h"

#include <atomic>
#include <cstdlib>

namespace vessaro {
namespace {

std::atomic<ClientEngine*> dispatchTarget{nullptr};
std::atomic<bool> shutDown{false};

void DispatchToEngine(const uint8_t* message, std::size_t length) {
    if (ClientEngine* engine = dispatchTarget.load())
        engine->Dispatch(message, length);
}

void ShutdownAtExit() {
    ClientShutdown();
}

ClientEngine* CreateEngine() {
    // The timers and clock are touched before the exit hook is registered, so they outlive it.
    TimerService& timers = ProcessTimers();
    Clock& clock = SystemClock();
    auto send = [](const uint8_t* data, std::size_t length) {
        return SendToServer(data, static_cast<int>(length));
    };
    auto* engine = new ClientEngine(
        send, timers, [](uint32_t tag) { OnTimerTick(tag); }, clock);
    dispatchTarget.store(engine);
    SetMessageDispatcher(&DispatchToEngine);
    std::atexit(&ShutdownAtExit);
    return engine;
}

ClientEngine& Engine() {
    static ClientEngine* const engine = CreateEngine(); // deliberately immortal, see above
    return *engine;
}

} // namespace

void ClientSetEventCallback(EngineEventCallback callback) {
    if (shutDown.load())
        return;
    Engine().SetEventCallback(std::move(callback));
}

void ClientShutdown() {
    if (shutDown.exchange(true))
        return;
    if (ClientEngine* engine = dispatchTarget.load()) {
        engine->SetEventCallback(nullptr);
        // Without the threads and timers no text is settled any more: a blocked sender returns.
        engine->ReleaseTextWaits();
    }
    ClientStopThreads();
    TimerShutdown();
    FlushConsole();
}

int ClientConnect() {
    return Engine().Connect();
}

int ClientDisconnect() {
    return Engine().Disconnect();
}

int ClientChangeServer(const char* host, uint16_t port) {
    return Engine().WhileDisconnected(
        [&] { return ClientSetServer(host, port) == 0 ? 0 : kServerNotFound; });
}

int ClientRequestMatch(UserProfile profile, MatchRequirement requirement) {
    return Engine().RequestMatch(profile, requirement);
}

int ClientCancelMatch() {
    return Engine().CancelMatch();
}

int ClientAccept() {
    return Engine().Accept();
}

int ClientRefuse() {
    return Engine().Refuse();
}

int ClientHangUp() {
    return Engine().HangUp();
}

uint32_t ClientPostText(TalkText text) {
    return Engine().PostText(text);
}

int ClientSendText(TalkText text) {
    return Engine().SendText(text);
}

int ClientSendFile(const char* fileName, const uint8_t* data, uint32_t length) {
    return Engine().SendFile(fileName, data, length);
}

int ClientState() {
    return Engine().state();
}

} // namespace vessaro
