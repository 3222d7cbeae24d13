#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <thread>

namespace vessaro {

// Called on the receive thread for every datagram, already complemented back to plain form, with
// the sender's numeric address text (SocketAddress.h: dotted for IPv4, also when it came through
// the IPv6 socket) and port (host byte order). The buffer holds 4096 bytes whatever
// the length, so the callback may write a header stamp beyond a short datagram. The result is
// ignored.
using CommRecvCallback = int (*)(uint8_t* buffer, int length, const char* address, uint16_t port);

// The UDP endpoint towards the matching server: one socket bound to every local interface and the
// thread that is its only reader. The socket is IPv6 and takes IPv4 too (as ::ffff: addresses), so
// one endpoint reaches a server of either kind; where the system has no IPv6 it is IPv4 only.
struct CommEndpoint {
    CommEndpoint() = default;
    ~CommEndpoint(); // stops the receive thread and closes the socket

    CommEndpoint(const CommEndpoint&) = delete;
    CommEndpoint& operator=(const CommEndpoint&) = delete;

    uint16_t localPort = 0; // as asked for (0: any free port)
    uint16_t boundPort = 0; // as the system gave it
    int socket = -1;
    int family = AF_INET; // AF_INET6 for the dual-stack socket
    std::atomic<CommRecvCallback> callback{nullptr};
    std::atomic<bool> stopping{false};
    std::mutex joinMutex;
    std::thread thread;
};

// Opens the endpoint on the local port (0: any free one) and starts its receive thread. Null when
// the socket cannot be made or bound.
std::unique_ptr<CommEndpoint> CommInit(uint16_t localPort);

// Installs the receive callback; until then received datagrams are dropped.
void CommSetRecvCallback(CommEndpoint* endpoint, CommRecvCallback callback);

// Sends length bytes to address:port (numeric text, IPv4 or IPv6) as one datagram, complemented on
// the way out; the caller's buffer stays as it was. 0 when the whole datagram went out, -1
// otherwise. A length below 0 or above 4096 is refused.
int CommSendMsg(CommEndpoint* endpoint, const char* address, uint16_t port, const uint8_t* buffer,
                int length);

// Stops the receive thread and waits for it: the callback is not called after this returns (but
// for the call under way when it is made from the callback itself). Safe more than once. The socket
// still sends afterwards, but receives nothing more.
void CommStop(CommEndpoint* endpoint);

// The receive loop, run on the endpoint's thread.
void CommRecvThread(CommEndpoint* endpoint);

} // namespace vessaro
