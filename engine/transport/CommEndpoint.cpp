#include "CommEndpoint.h"

#include "Console.h"
#include "Datagram.h"
#include "WireTransform.h"

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(10);

// The endpoint whose receive thread this is, so that a stop asked for from the callback does not
// wait for itself.
thread_local const CommEndpoint* ownEndpoint = nullptr;

uint16_t BoundPort(int socket) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

} // namespace

CommEndpoint::~CommEndpoint() {
    CommStop(this);
    if (socket >= 0)
        close(socket);
}

std::unique_ptr<CommEndpoint> CommInit(uint16_t localPort) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(localPort);
    if (bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        close(fd);
        return nullptr;
    }
    auto endpoint = std::make_unique<CommEndpoint>();
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

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ssize_t sent = -1;
    if (address && inet_pton(AF_INET, address, &to.sin_addr) == 1)
        sent = sendto(endpoint->socket, wire.data(), length, 0, reinterpret_cast<sockaddr*>(&to),
                      sizeof to);
    if (sent == length)
        return 0;
    ConsoleLine("CommSendMsg: sendto failed!\n");
    return -1;
}

void CommStop(CommEndpoint* endpoint) {
    if (!endpoint)
        return;
    endpoint->stop.Raise();
    if (ownEndpoint == endpoint)
        return;
    std::lock_guard lock(endpoint->joinMutex);
    if (endpoint->thread.joinable())
        endpoint->thread.join();
}

void CommRecvThread(CommEndpoint* endpoint) {
    ownEndpoint = endpoint;
    std::array<uint8_t, kMaxDatagramSize> buffer;
    char address[INET_ADDRSTRLEN];
    while (endpoint->stop.WaitReadable(endpoint->socket)) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        // MSG_TRUNC reports the real size of a datagram too big for the buffer, which is then
        // dropped rather than handed on cut short.
        ssize_t n =
            recvfrom(endpoint->socket, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n <= 0 || n > static_cast<ssize_t>(buffer.size())) {
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        CommRecvCallback callback = endpoint->callback.load();
        if (!callback || endpoint->stop.Raised())
            continue;
        int length = static_cast<int>(n);
        CommInvertBytes(buffer.data(), buffer.data(), length);
        inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
        callback(buffer.data(), length, address, ntohs(from.sin_port));
    }
}

} // namespace vessaro
