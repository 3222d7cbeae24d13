#include "DatagramOutbox.h"

#include <cerrno>
#include <cstring>
#include <netinet/udp.h>

namespace vessaro {
namespace {

// Why the kernel refuses to segment a joined run: a kernel or route without segmentation (EINVAL,
// EOPNOTSUPP), a device without checksum offload or a route through IPsec (EIO). Whichever, the
// socket sends datagram by datagram from then on.
bool SegmentingRefused(int error) {
    return error == EINVAL || error == EOPNOTSUPP || error == ENOPROTOOPT || error == EIO;
}

} // namespace

bool DatagramOutbox::JoinsLast(const Endpoint& to, std::size_t size) const {
    if (!segmenting_ || messages_ == 0 || size == 0)
        return false;
    const msghdr& last = headers_[messages_ - 1].msg_hdr;
    return last.msg_iov[0].iov_len == size && last.msg_iovlen < kMaxSegments &&
           (last.msg_iovlen + 1) * size <= kMaxJoinedBytes && destinations_[messages_ - 1] == to;
}

uint8_t* DatagramOutbox::Add(const Endpoint& to, bool v6Socket, std::size_t size) {
    const unsigned d = datagrams_;
    if (JoinsLast(to, size)) {
        msghdr& last = headers_[messages_ - 1].msg_hdr;
        if (last.msg_iovlen == 1) {
            last.msg_control = controls_[messages_ - 1].bytes;
            last.msg_controllen = sizeof controls_[messages_ - 1].bytes;
            cmsghdr* c = CMSG_FIRSTHDR(&last);
            c->cmsg_level = SOL_UDP;
            c->cmsg_type = UDP_SEGMENT;
            c->cmsg_len = CMSG_LEN(sizeof(uint16_t));
            const uint16_t segment = uint16_t(size);
            std::memcpy(CMSG_DATA(c), &segment, sizeof segment);
        }
        ++last.msg_iovlen;
    } else {
        const unsigned m = messages_;
        const unsigned nameLength = ToSockaddr(to, v6Socket, names_[m]);
        if (nameLength == 0)
            return nullptr;
        destinations_[m] = to;
        msghdr& h = headers_[m].msg_hdr;
        h = msghdr{};
        h.msg_name = &names_[m];
        h.msg_namelen = nameLength;
        h.msg_iov = &vectors_[d];
        h.msg_iovlen = 1;
        ++messages_;
    }
    uint8_t* out = bytes_ + used_;
    used_ += (size + kPackAlignment - 1) & ~(kPackAlignment - 1);
    vectors_[d] = {out, size};
    ++datagrams_;
    return out;
}

unsigned DatagramOutbox::SendAll(int fd) {
    unsigned refused = 0;
    unsigned sent = 0;
    while (sent < messages_) {
        int n = sendmmsg(fd, headers_ + sent, messages_ - sent, 0);
        if (n > 0) {
            sent += unsigned(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            refused += Refused(fd, sent, n < 0 ? errno : 0);
            ++sent;
        }
    }
    Clear();
    return refused;
}

// Message m was refused with error. A joined run goes again datagram by datagram when the kernel
// would not segment it or the path to its client cannot carry its segments whole (EMSGSIZE);
// anything else (a full buffer) is lost. The datagrams lost.
unsigned DatagramOutbox::Refused(int fd, unsigned m, int error) {
    const unsigned count = DatagramsIn(m);
    if (count == 1 || !(SegmentingRefused(error) || error == EMSGSIZE))
        return count;
    if (SegmentingRefused(error))
        segmenting_ = false;
    msghdr single = headers_[m].msg_hdr;
    single.msg_control = nullptr;
    single.msg_controllen = 0;
    single.msg_iovlen = 1;
    unsigned lost = 0;
    for (unsigned d = 0; d < count; ++d) {
        single.msg_iov = headers_[m].msg_hdr.msg_iov + d;
        ssize_t n;
        do {
            n = sendmsg(fd, &single, 0);
        } while (n < 0 && errno == EINTR);
        if (n != ssize_t(single.msg_iov->iov_len))
            ++lost;
    }
    return lost;
}

void DatagramOutbox::Clear() {
    datagrams_ = 0;
    messages_ = 0;
    used_ = 0;
}

} // namespace vessaro
