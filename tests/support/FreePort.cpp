#include "FreePort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

namespace vessaro::test {

uint16_t FreePort(int socketType) {
    const int s = socket(AF_INET, socketType | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool found = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                       getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    close(s);
    return found ? ntohs(a.sin_port) : 0;
}

} // namespace vessaro::test
