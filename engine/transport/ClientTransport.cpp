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
#include <forward_list>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vessaro {
namespace {

std::atomic<MessageDispatcher> dispatcher{nullptr};

struct ServerAddressRecord {
    char ip[kAddressTextSize] = {};
    uint16_t port = 0;
};

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

    // Read without the mutex by SendToServer and the accessors, from any thread. A server
    // address, once stored, is never changed or freed: another thread may still be reading the
    // one that was current a moment ago. A new server gets a new record (a handful per run).
    std::atomic<CommEndpoint*> liveEndpoint{nullptr};
    std::atomic<const ServerAddressRecord*> server{nullptr};
    std::forward_list<ServerAddressRecord> servers; // every record stored, under startMutex
};

Transport& State() {
    static Transport* transport = new Transport;
    return *transport;
}

// Looks the host up and makes it the server; on failure the server stays what it was. Called with
// startMutex held.
int StoreServer(Transport& t, const char* host, uint16_t port) {
    std::optional<std::string> address = LookUpHost(host, t.endpoint->family);
    if (!address)
        return -1;
    ServerAddressRecord& record = t.servers.emplace_front();
    std::snprintf(record.ip, sizeof record.ip, "%s", address->c_str());
    record.port = port;
    t.server.store(&record);
    return 0;
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

    return StoreServer(t, host, port);
}

int ClientSetServer(const char* host, uint16_t port) {
    Transport& t = State();
    std::lock_guard lock(t.startMutex);
    if (!t.started)
        return -1;
    return StoreServer(t, host, port);
}

int SendToServer(const uint8_t* buffer, int length) {
    Transport& t = State();
    CommEndpoint* endpoint = t.liveEndpoint.load();
    const ServerAddressRecord* server = t.server.load();
    if (!endpoint || !server)
        return -1;
    return CommSendMsg(endpoint, server->ip, server->port, buffer, length);
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
    const ServerAddressRecord* server = State().server.load();
    return server ? server->ip : "";
}

uint16_t ServerPort() {
    const ServerAddressRecord* server = State().server.load();
    return server ? server->port : 0;
}

uint16_t ClientLocalPort() {
    CommEndpoint* endpoint = State().liveEndpoint.load();
    return endpoint ? endpoint->boundPort : 0;
}

bool AcceptsSender(const char* address, uint16_t port) {
    const ServerAddressRecord* server = State().server.load();
    if (!server)
        return true;
    return address && port == server->port && std::strcmp(address, server->ip) == 0;
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
