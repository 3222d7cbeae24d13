#include "SocketSupport.h"

#include <QHostAddress>
#include <QUdpSocket>

namespace vessaro {

bool UdpSocketsAvailable() {
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
}

} // namespace vessaro
