#pragma once

#include <atomic>
#include <cstdint>

namespace vessaro {

// The loopback queue: a pair of UDP sockets on 127.0.0.1. Every server datagram and every timer
// tick is put in as one datagram through the one send socket, so the receiving side takes them one
// at a time, whole, in the order they reached the socket, whichever thread put them in. Both
// sockets block.
class CMsgQueue {
public:
    CMsgQueue() = default;
    virtual ~CMsgQueue(); // closes the sockets

    CMsgQueue(const CMsgQueue&) = delete;
    CMsgQueue& operator=(const CMsgQueue&) = delete;

    // The client's queue. It is never destroyed, so a tick that races with the end of the process
    // still has somewhere to go.
    static CMsgQueue& Instance();

    // Binds both sockets to 127.0.0.1 on free ports and lets the receiving socket take messages
    // from the send socket only. -1 when a socket cannot be made or bound; a second call on a
    // queue that works already returns 0 and changes nothing.
    int Create();

    // Puts one message in. Returns the byte count sent, or -1 (also before Create).
    int Send(const uint8_t* buffer, int length);

    // Takes one message out, waiting for it. Returns its length, or 0 on any receive error
    // (including a message longer than the capacity, which is dropped).
    int Recv(uint8_t* buffer, int capacity);

    uint16_t Port() const { return port_.load(); }
    int ReceiveSocket() const { return recvSocket_.load(); }

private:
    std::atomic<uint16_t> port_{0};
    std::atomic<int> recvSocket_{-1};
    std::atomic<int> sendSocket_{-1};
};

} // namespace vessaro
