#include "ClientTransport.h"

#include "CMsgQueue.h"
#include "CommEndpoint.h"
#include "Datagram.h"
#include "MsgProcThread.h"
#include "QueueFeed.h"
#include "SocketAddress.h"
#include "Timers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

// The process-wide transport. It is never destroyed: the threads may outlive every other static,
// and ClientStopThreads must stay callable until the very end.
struct Transport {
    std::mutex startMutex; // ClientStart against ClientStart and ClientStopThreads
    bool started = false;
    std::unique_ptr<CommEndpoint> endpoint;
    std::unique_ptr<MsgProcThread> processor;

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

std::atomic<MessageDispatcher> dispatcher{nullptr};

void Dispatch(const uint8_t* message, std::size_t length) {
    if (MessageDispatcher hook = dispatcher.load())
        hook(message, length);
}

// Whether the system has a route to the address: connecting a UDP socket sends nothing, it only
// picks the route, and fails at once where there is none (an IPv6 address on an IPv4-only host).
bool Reachable(const addrinfo& candidate) {
    int probe = ::socket(candidate.ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    bool ok = ::connect(probe, candidate.ai_addr, candidate.ai_addrlen) == 0;
    ::close(probe);
    return ok;
}

// The host's address as numeric text (SocketAddress.h): the first one in the system's order that
// the endpoint's socket family can reach and that has a route, else the first one it can reach at
// all. False when the host does not resolve to any.
bool LookUpServer(const char* host, int family, char (&text)[kAddressTextSize]) {
    if (!host || !*host)
        return false;
    addrinfo hints{};
    hints.ai_family = family == AF_INET6 ? AF_UNSPEC : AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return false;
    const addrinfo* chosen = nullptr;
    for (const addrinfo* a = found; a && !chosen; a = a->ai_next)
        if (Reachable(*a))
            chosen = a;
    if (!chosen)
        chosen = found;
    bool ok = FormatSocketAddress(chosen->ai_addr, text, sizeof text);
    freeaddrinfo(found);
    return ok;
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
    CMsgQueue::Instance().Create();
    t.endpoint = std::move(endpoint);
    t.processor = std::make_unique<MsgProcThread>(CMsgQueue::Instance(), Dispatch);
    t.liveEndpoint.store(t.endpoint.get());
    t.started = true;
    // At exit the threads stop before the statics made before this call (the engine among them)
    // are destroyed.
    std::atexit(ClientStopThreads);

    char address[kAddressTextSize] = {};
    if (!LookUpServer(host, t.endpoint->family, address))
        return -1;
    std::copy(std::begin(address), std::end(address), t.serverIp);
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
    MsgProcThread* processor;
    {
        std::lock_guard lock(t.startMutex);
        endpoint = t.endpoint.get();
        processor = t.processor.get();
    }
    // Both are set once and never freed, so they stay valid without the lock; the lock is not held
    // while joining, in case the dispatcher itself asks for the stop.
    CommStop(endpoint);
    if (processor)
        processor->Stop();
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

void OnTimerTick(uint32_t tag) {
    PutTimerTick(CMsgQueue::Instance(), tag);
}

} // namespace vessaro
