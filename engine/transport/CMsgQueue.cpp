#include "CMsgQueue.h"

#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro {
namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

sockaddr_in LocalAddress(int socket) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (socket >= 0)
        getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size);
    return local;
}

// A UDP socket bound to 127.0.0.1 on a free port, or -1.
int BoundLoopbackSocket() {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local = Loopback(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

CMsgQueue::~CMsgQueue() {
    if (int fd = recvSocket_.load(); fd >= 0)
        close(fd);
    if (int fd = sendSocket_.load(); fd >= 0)
        close(fd);
}

CMsgQueue& CMsgQueue::Instance() {
    static CMsgQueue* queue = new CMsgQueue;
    return *queue;
}

int CMsgQueue::Create() {
    static std::mutex createMutex; // Create is rare; this keeps two callers from racing
    std::lock_guard lock(createMutex);
    if (sendSocket_.load() >= 0)
        return 0;

    int receiver = BoundLoopbackSocket();
    if (receiver < 0)
        return -1;
    int sender = BoundLoopbackSocket();
    // The receiving socket only takes what our own send socket puts in, so no other program on
    // this machine can slip forged server messages or ticks into the queue.
    sockaddr_in senderAddress = LocalAddress(sender);
    if (sender < 0 ||
        connect(receiver, reinterpret_cast<sockaddr*>(&senderAddress), sizeof senderAddress) != 0) {
        close(receiver);
        if (sender >= 0)
            close(sender);
        return -1;
    }
    port_.store(ntohs(LocalAddress(receiver).sin_port));
    recvSocket_.store(receiver);
    sendSocket_.store(sender);
    return 0;
}

int CMsgQueue::Send(const uint8_t* buffer, int length) {
    int sender = sendSocket_.load();
    if (sender < 0 || length < 0)
        return -1;
    sockaddr_in to = Loopback(port_.load());
    return static_cast<int>(
        sendto(sender, buffer, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to));
}

int CMsgQueue::Recv(uint8_t* buffer, int capacity) {
    int receiver = recvSocket_.load();
    if (receiver < 0 || capacity <= 0)
        return 0;
    ssize_t n = recvfrom(receiver, buffer, capacity, MSG_TRUNC, nullptr, nullptr);
    if (n <= 0 || n > capacity)
        return 0;
    return static_cast<int>(n);
}

} // namespace vessaro
