#include "ClientTransport.h"

#include "CommEndpoint.h"
#include "Datagram.h"
#include "DispatchGate.h"
#include "Messages.h"
#include "ServerDatagram.h"
#include "SocketAddress.h"
#include "Timers.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vessaro {
namespace {

std::atomic<MessageDispatcher> dispatcher{nullptr};

void Dispatch(const uint8_t* message, std::size_t length) {
    if (MessageDispatcher hook = dispatcher.load())
        hook(message, length);
}

// The process-wide transport. It is never destroyed: the threads may outlive every other static,
// and ClientStopThreads must stay callable until the very end.
struct Transport {
    std::mutex startMutex; // ClientStart against ClientStart and ClientStopThreads
    bool started = false;
    std::unique_ptr<CommEndpoint> endpoint;
    DispatchGate gate{Dispatch};

    // Read without the mutex by SendToServer and the accessors, from any thread.
    std::atomic<CommEndpoint*> liveEndpoint{nullptr};
    std::atomic<bool> resolved{false};
    char serverIp[kAddressTextSize] = {};
    uint16_t serverPort = 0;
};

Transport& State() {
    static Transport* transport = new Transport;
    return *transport;
}

} // namespace

void SetMessageDispatcher(MessageDispatcher hook) {
    dispatcher.store(hook);
}

int ClientStart(const char* host, uint16_t port) {
    Transport& t = State();
    std::lock_guard lock(t.startMutex);
    if (t.started)
        return -1;

    TimerInit();
    // Without an endpoint nothing else can work: report the failure and leave the transport
    // unstarted, so that a later call may try again.
    std::unique_ptr<CommEndpoint> endpoint = CommInit(0);
    if (!endpoint)
        return -1;
    CommSetRecvCallback(endpoint.get(), OnServerDatagram);
    t.endpoint = std::move(endpoint);
    t.gate.Open();
    t.liveEndpoint.store(t.endpoint.get());
    t.started = true;
    // At exit the threads stop before the statics made before this call (the engine among them)
    // are destroyed.
    std::atexit(ClientStopThreads);

    std::optional<std::string> address = LookUpHost(host, t.endpoint->family);
    if (!address)
        return -1;
    std::snprintf(t.serverIp, sizeof t.serverIp, "%s", address->c_str());
    t.serverPort = port;
    t.resolved.store(true);
    return 0;
}

int SendToServer(const uint8_t* buffer, int length) {
    Transport& t = State();
    CommEndpoint* endpoint = t.liveEndpoint.load();
    if (!endpoint || !t.resolved.load())
        return -1;
    return CommSendMsg(endpoint, t.serverIp, t.serverPort, buffer, length);
}

void ClientStopThreads() {
    Transport& t = State();
    CommEndpoint* endpoint;
    {
        std::lock_guard lock(t.startMutex);
        endpoint = t.endpoint.get();
        if (!t.started)
            return;
    }
    // The gate first: a receive thread waiting at it then gives up at once. The endpoint is set
    // once and never freed, so it stays valid without the lock; the lock is not held while
    // joining, in case the dispatcher itself asks for the stop.
    t.gate.Close();
    CommStop(endpoint);
}

const char* ServerIpText() {
    Transport& t = State();
    return t.resolved.load() ? t.serverIp : "";
}

uint16_t ServerPort() {
    Transport& t = State();
    return t.resolved.load() ? t.serverPort : 0;
}

uint16_t ClientLocalPort() {
    CommEndpoint* endpoint = State().liveEndpoint.load();
    return endpoint ? endpoint->boundPort : 0;
}

bool AcceptsSender(const char* address, uint16_t port) {
    Transport& t = State();
    if (!t.resolved.load())
        return true;
    return address && port == t.serverPort && std::strcmp(address, t.serverIp) == 0;
}

int OnServerDatagram(uint8_t* buffer, int length, const char* address, uint16_t port) {
    if (!AcceptsSender(address, port) || !PrepareServerDatagram(buffer, length, address, port))
        return 0;
    return State().gate.Deliver(buffer, static_cast<std::size_t>(length)) ? length : 0;
}

void OnTimerTick(uint32_t tag) {
    auto tick = BuildTimerTick(tag);
    State().gate.Deliver(tick.data(), tick.size());
}

} // namespace vessaro
