#include "CommEndpoint.h"

#include "Console.h"
#include "Datagram.h"
#include "SocketAddress.h"
#include "WireTransform.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(10);

// The endpoint whose receive thread this is, so that a stop asked for from the callback does not
// wait for itself.
thread_local const CommEndpoint* ownEndpoint = nullptr;

uint16_t BoundPort(int socket) {
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    uint16_t port = 0;
    char text[kAddressTextSize];
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        !FormatSocketAddress(reinterpret_cast<sockaddr*>(&local), text, sizeof text, &port))
        return 0;
    return port;
}

// A socket of the family bound to every local interface at the port, or -1. The IPv6 socket is
// told to take IPv4 as well, whatever the system's default for that is.
int OpenBound(int family, uint16_t port) {
    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_storage any{};
    socklen_t size;
    if (family == AF_INET6) {
        int off = 0;
        if (setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
            close(fd);
            return -1;
        }
        auto& a = reinterpret_cast<sockaddr_in6&>(any);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_any;
        a.sin6_port = htons(port);
        size = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(any);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(port);
        size = sizeof a;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&any), size) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

CommEndpoint::~CommEndpoint() {
    CommStop(this);
    if (socket >= 0)
        close(socket);
}

std::unique_ptr<CommEndpoint> CommInit(uint16_t localPort) {
    int family = AF_INET6;
    int fd = OpenBound(family, localPort);
    // IPv4 alone only where IPv6 cannot be had; a port already taken stays taken.
    if (fd < 0 && errno != EADDRINUSE) {
        family = AF_INET;
        fd = OpenBound(family, localPort);
    }
    if (fd < 0)
        return nullptr;
    auto endpoint = std::make_unique<CommEndpoint>();
    endpoint->family = family;
    endpoint->localPort = localPort;
    endpoint->boundPort = BoundPort(fd);
    endpoint->socket = fd;
    endpoint->thread = std::thread(CommRecvThread, endpoint.get());
    return endpoint;
}

void CommSetRecvCallback(CommEndpoint* endpoint, CommRecvCallback callback) {
    if (endpoint)
        endpoint->callback.store(callback);
}

int CommSendMsg(CommEndpoint* endpoint, const char* address, uint16_t port, const uint8_t* buffer,
                int length) {
    if (!endpoint || length < 0 || length > static_cast<int>(kMaxDatagramSize) ||
        (length > 0 && !buffer))
        return -1;
    std::array<uint8_t, kMaxDatagramSize> wire;
    CommInvertBytes(buffer, wire.data(), length);

    ssize_t sent = -1;
    if (auto to = ParseSocketAddress(address, port, endpoint->family))
        sent = sendto(endpoint->socket, wire.data(), length, 0, to->get(), to->size);
    if (sent == length)
        return 0;
    ConsoleLine("CommSendMsg: sendto failed!\n");
    return -1;
}

void CommStop(CommEndpoint* endpoint) {
    if (!endpoint)
        return;
    endpoint->stopping.store(true);
    // Shutting the socket's receiving side down wakes a receive blocked on it at once (it then
    // returns 0); sending is unaffected, so the server can still be told goodbye.
    if (endpoint->socket >= 0)
        shutdown(endpoint->socket, SHUT_RD);
    if (ownEndpoint == endpoint)
        return;
    std::lock_guard lock(endpoint->joinMutex);
    if (endpoint->thread.joinable())
        endpoint->thread.join();
}

// The thread blocks in the receive call itself: one system call per datagram, and none while no
// traffic arrives.
void CommRecvThread(CommEndpoint* endpoint) {
    ownEndpoint = endpoint;
    pthread_setname_np(pthread_self(), "CommRecvThread"); // as ps and debuggers show it
    std::array<uint8_t, kMaxDatagramSize> buffer;
    char address[kAddressTextSize];
    while (!endpoint->stopping.load()) {
        sockaddr_storage from{};
        socklen_t fromSize = sizeof from;
        // MSG_TRUNC reports the real size of a datagram too big for the buffer, which is then
        // dropped rather than handed on cut short.
        ssize_t n = recvfrom(endpoint->socket, buffer.data(), buffer.size(), MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (endpoint->stopping.load())
            break;
        if (n <= 0 || n > static_cast<ssize_t>(buffer.size())) {
            // An empty datagram is no message; an interrupted receive is simply taken up again.
            if (n < 0 && errno != EINTR)
                std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        CommRecvCallback callback = endpoint->callback.load();
        uint16_t port = 0;
        if (!callback || !FormatSocketAddress(reinterpret_cast<sockaddr*>(&from), address,
                                              sizeof address, &port))
            continue;
        int length = static_cast<int>(n);
        CommInvertBytes(buffer.data(), buffer.data(), length);
        callback(buffer.data(), length, address, port);
    }
}

} // namespace vessaro
