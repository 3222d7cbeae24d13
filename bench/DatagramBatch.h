#pragma once

#include "UdpSocket.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <netinet/in.h>
#include <span>
#include <sys/socket.h>
#include <vector>

namespace vessaro::bench {

// Up to kCapacity datagrams moved by one recvmmsg or sendmmsg call: each with its peer and, for a
// socket bound to 0.0.0.0 with IP_PKTINFO on, the local address it came to or leaves from. One
// system call per batch instead of one per datagram keeps the load generator cheap beside the
// server it measures.
class DatagramBatch {
public:
    static constexpr int kCapacity = 64;
    static constexpr std::size_t kBufferSize = 2048; // larger than any datagram the bench sends

    DatagramBatch();
    DatagramBatch(const DatagramBatch&) = delete;
    DatagramBatch& operator=(const DatagramBatch&) = delete;

    // Receives what is waiting, up to the capacity; the number of datagrams (0: none waiting).
    int Receive(int fd);
    std::span<uint8_t> data(int i) { return {buffers_[i].data(), lengths_[i]}; }
    UdpAddress peer(int i) const;
    // The local address the datagram was sent to (0 unless IP_PKTINFO is on).
    uint32_t local(int i) const;

    int size() const { return count_; }
    bool full() const { return count_ == kCapacity; }
    void Clear() { count_ = 0; }
    // Queues a datagram to send; returns its buffer of kBufferSize bytes to fill, size bytes of it
    // sent. from (0: the socket's own address) is the local source address to send from.
    uint8_t* Add(const UdpAddress& to, std::size_t size, uint32_t from = 0);
    // Sends everything queued and clears the batch; waits for room when the socket is full. The
    // number of datagrams the kernel took.
    int Send(int fd);
    // Sends the received datagrams again, each to the peer set by Redirect (the forwarder's path:
    // no copy).
    void Redirect(int i, const UdpAddress& to);
    // Moves datagram from to the place to (to < from), and keeps only the first count.
    void MoveTo(int from, int to);
    void Truncate(int count) { count_ = std::min(count_, count); }

private:
    void Prepare(int i, bool receiving);

    std::vector<std::array<uint8_t, kBufferSize>> buffers_;
    std::array<std::size_t, kCapacity> lengths_{};
    std::array<sockaddr_in, kCapacity> peers_{};
    std::array<uint32_t, kCapacity> locals_{};
    std::array<std::array<uint8_t, CMSG_SPACE(sizeof(in_pktinfo))>, kCapacity> controls_{};
    std::array<iovec, kCapacity> iov_{};
    std::array<mmsghdr, kCapacity> headers_{};
    int count_ = 0;
};

// Turns IP_PKTINFO on, so that a wildcard socket learns each datagram's local address.
bool EnableLocalAddress(int fd);
// Asks for kernel buffers of the given size, as the server asks for its own (4 MB, within the
// system's maximum), so that a baseline gets no more room than the server. forced: past the
// system's maximum where the process may, for the load generator's sockets, whose drops would
// only blur what is measured.
void EnlargeBuffers(int fd, int bytes = 4 << 20, bool forced = false);

} // namespace vessaro::bench
