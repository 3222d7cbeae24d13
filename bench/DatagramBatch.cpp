#include "DatagramBatch.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace vessaro::bench {

DatagramBatch::DatagramBatch() : buffers_(kCapacity) {}

void DatagramBatch::Prepare(int i, bool receiving) {
    iov_[i] = {buffers_[i].data(), receiving ? kBufferSize : lengths_[i]};
    msghdr& h = headers_[i].msg_hdr;
    h = {};
    h.msg_name = &peers_[i];
    h.msg_namelen = sizeof(sockaddr_in);
    h.msg_iov = &iov_[i];
    h.msg_iovlen = 1;
    if (receiving || locals_[i] != 0) {
        h.msg_control = controls_[i].data();
        h.msg_controllen = controls_[i].size();
    }
    if (!receiving && locals_[i] != 0) {
        cmsghdr* c = CMSG_FIRSTHDR(&h);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(locals_[i]);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
}

int DatagramBatch::Receive(int fd) {
    for (int i = 0; i < kCapacity; ++i)
        Prepare(i, true);
    int n;
    do {
        n = recvmmsg(fd, headers_.data(), kCapacity, MSG_DONTWAIT, nullptr);
    } while (n < 0 && errno == EINTR);
    count_ = n < 0 ? 0 : n;
    for (int i = 0; i < count_; ++i) {
        lengths_[i] = headers_[i].msg_len;
        locals_[i] = 0;
        msghdr& h = headers_[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                locals_[i] = ntohl(info.ipi_addr.s_addr);
            }
        }
    }
    return count_;
}

UdpAddress DatagramBatch::peer(int i) const {
    return {ntohl(peers_[i].sin_addr.s_addr), ntohs(peers_[i].sin_port)};
}

uint32_t DatagramBatch::local(int i) const {
    return locals_[i];
}

uint8_t* DatagramBatch::Add(const UdpAddress& to, std::size_t size, uint32_t from) {
    const int i = count_++;
    peers_[i] = {};
    peers_[i].sin_family = AF_INET;
    peers_[i].sin_addr.s_addr = htonl(to.address);
    peers_[i].sin_port = htons(to.port);
    lengths_[i] = std::min(size, kBufferSize);
    locals_[i] = from;
    return buffers_[i].data();
}

void DatagramBatch::Redirect(int i, const UdpAddress& to) {
    peers_[i].sin_addr.s_addr = htonl(to.address);
    peers_[i].sin_port = htons(to.port);
    locals_[i] = 0;
}

void DatagramBatch::MoveTo(int from, int to) {
    std::memcpy(buffers_[to].data(), buffers_[from].data(), lengths_[from]);
    lengths_[to] = lengths_[from];
    peers_[to] = peers_[from];
    locals_[to] = locals_[from];
}

int DatagramBatch::Send(int fd) {
    for (int i = 0; i < count_; ++i)
        Prepare(i, false);
    int done = 0;
    int taken = 0;
    while (done < count_) {
        int n = sendmmsg(fd, headers_.data() + done, unsigned(count_ - done), 0);
        if (n > 0) {
            done += n;
            taken += n;
        } else if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 10);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ++done; // this one cannot go (an ICMP error of an earlier send, say): the rest can
        }
    }
    count_ = 0;
    return taken;
}

bool EnableLocalAddress(int fd) {
    int on = 1;
    return setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0;
}

void EnlargeBuffers(int fd, int bytes, bool forced) {
    if (!forced || setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    if (!forced || setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

} // namespace vessaro::bench
