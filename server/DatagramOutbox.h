#pragma once

#include "Datagram.h"
#include "Endpoint.h"

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

namespace vessaro {

// The datagrams waiting to leave one UDP socket, packed one after another in one buffer, ready
// for one sendmmsg. Consecutive datagrams of one size to one destination (a client's texts, or
// their acknowledgements, read in one batch) share one message that asks the kernel for UDP
// segmentation (UDP_SEGMENT): the kernel takes the run in one pass through its send path (one
// buffer, one route lookup) and cuts it into the same datagrams, in the same order, on the way
// out. Order is kept across destinations too, since only neighbours are joined.
class DatagramOutbox {
public:
    static constexpr unsigned kCapacity = 64;             // datagrams
    static constexpr unsigned kMaxSegments = 64;          // the kernel's least limit per message
    static constexpr std::size_t kMaxJoinedBytes = 60000; // under 64 KB with the headers

    // segmenting: whether runs may be joined (the socket and the kernel allow it).
    explicit DatagramOutbox(bool segmenting) : segmenting_(segmenting) {}
    DatagramOutbox(const DatagramOutbox&) = delete;
    DatagramOutbox& operator=(const DatagramOutbox&) = delete;

    // Queues a datagram of size bytes (at most kMaxDatagramSize) to to, for a socket of the given
    // family; the place to write its bytes into, or null when the address cannot be reached
    // from such a socket. Only while not full().
    uint8_t* Add(const Endpoint& to, bool v6Socket, std::size_t size);

    bool full() const { return datagrams_ == kCapacity; }
    bool empty() const { return datagrams_ == 0; }
    unsigned datagrams() const { return datagrams_; }

    // Sends everything queued through the socket, in order, and clears the outbox; the number of
    // datagrams the socket refused. A datagram refused is lost and the rest still go, as they
    // would have one by one. A joined run that the kernel would not segment (see SegmentingRefused)
    // goes again datagram by datagram, and the outbox joins no more runs from then on.
    unsigned SendAll(int fd);

    // The messages for sendmmsg, in order.
    mmsghdr* messages() { return headers_; }
    unsigned messageCount() const { return messages_; }
    // How many datagrams message m carries (more than one: a joined run).
    unsigned DatagramsIn(unsigned m) const { return unsigned(headers_[m].msg_hdr.msg_iovlen); }

    bool segmenting() const { return segmenting_; }
    void Clear();

private:
    static constexpr std::size_t kPackAlignment = 64;
    // The control message of a joined run: its segment size.
    struct Control {
        alignas(cmsghdr) uint8_t bytes[CMSG_SPACE(sizeof(uint16_t))];
    };

    bool JoinsLast(const Endpoint& to, std::size_t size) const;
    unsigned Refused(int fd, unsigned m, int error);

    bool segmenting_;
    unsigned datagrams_ = 0;
    unsigned messages_ = 0;
    std::size_t used_ = 0;
    alignas(kPackAlignment) uint8_t bytes_[kCapacity * kMaxDatagramSize];
    iovec vectors_[kCapacity]; // one per datagram, in order: a message's run is a range of them
    mmsghdr headers_[kCapacity];
    sockaddr_storage names_[kCapacity];
    Endpoint destinations_[kCapacity];
    Control controls_[kCapacity];
};

} // namespace vessaro
