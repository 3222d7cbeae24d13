#include "ServerAddress.h"

#include "DecimalText.h"

#include <QHostAddress>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace vessaro {
namespace {

bool IsHostLabel(const QString& label) {
    if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
        return false;
    for (QChar c : label) {
        const char16_t u = c.unicode();
        const bool ok =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

bool IsHostName(const QString& name) {
    if (name.isEmpty() || name.size() > 253)
        return false;
    const QStringList labels = name.split(u'.');
    for (const QString& label : labels) {
        if (!IsHostLabel(label))
            return false;
    }
    // A name whose last label is all digits is a mistyped address ("999.1.1.1"), not a host.
    const QString& top = labels.back();
    return std::any_of(top.begin(), top.end(), [](QChar c) { return !c.isDigit(); });
}

std::optional<QString> AcceptedHost(const QString& host) {
    if (IsValidHost(host))
        return host;
    const QString ascii = QString::fromLatin1(QUrl::toAce(host));
    if (!ascii.isEmpty() && ascii != host && IsHostName(ascii))
        return ascii;
    return std::nullopt;
}

std::optional<uint16_t> ParsePort(const QString& text) {
    const std::optional<uint32_t> port = ParseDecimal(text, 5, 1, 65535);
    if (!port)
        return std::nullopt;
    return static_cast<uint16_t>(*port);
}

ServerAddressResult Refused(ServerAddressError error) {
    return {std::nullopt, error};
}

} // namespace

bool IsValidHost(const QString& host) {
    QHostAddress address;
    // QHostAddress also takes forms such as "127.1" or "1"; only the usual dotted quad counts.
    if (address.setAddress(host)) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol)
            return !host.contains(u'%'); // a scope would need an interface on this machine
        return host.count(u'.') == 3;
    }
    return IsHostName(host);
}

ServerAddressResult ParseServerAddress(const QString& text, uint16_t defaultPort) {
    const QString written = text.trimmed();
    if (written.isEmpty())
        return Refused(ServerAddressError::kEmpty);

    QString host = written;
    QString port;
    bool hasPort = false;
    if (written.startsWith(u'[')) {
        const qsizetype close = written.indexOf(u']');
        if (close < 0)
            return Refused(ServerAddressError::kBadHost);
        host = written.mid(1, close - 1);
        const QString rest = written.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return Refused(ServerAddressError::kBadHost);
            hasPort = true;
            port = rest.mid(1);
        }
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return Refused(ServerAddressError::kBadHost);
    } else if (written.count(u':') == 1) {
        const qsizetype colon = written.indexOf(u':');
        host = written.left(colon);
        port = written.mid(colon + 1);
        hasPort = true;
    }

    const std::optional<QString> accepted = AcceptedHost(host);
    if (!accepted)
        return Refused(ServerAddressError::kBadHost);
    const std::optional<uint16_t> portNumber = hasPort ? ParsePort(port) : defaultPort;
    if (!portNumber || *portNumber == 0)
        return Refused(ServerAddressError::kBadPort);
    return {ServerAddress{*accepted, *portNumber}, ServerAddressError::kEmpty};
}

std::optional<QString> NormalizeWebUrl(const QString& text) {
    QString written = text.trimmed();
    if (written.isEmpty())
        return QString();
    while (written.endsWith(u'/'))
        written.chop(1);
    const QUrl url(written, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        return std::nullopt;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return std::nullopt;
    if (!IsValidHost(url.host()))
        return std::nullopt;
    return url.toString(QUrl::FullyEncoded);
}

QString FormatServerAddress(const QString& host, uint16_t port) {
    if (host.contains(u':'))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

} // namespace vessaro
