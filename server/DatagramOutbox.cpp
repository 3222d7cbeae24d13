#include "DatagramOutbox.h"

#include <cstring>
#include <netinet/udp.h>

namespace vessaro {

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

void DatagramOutbox::Clear() {
    datagrams_ = 0;
    messages_ = 0;
    used_ = 0;
}

} // namespace vessaro
