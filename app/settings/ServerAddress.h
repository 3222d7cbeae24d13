#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace vessaro {

// A matching server as the user writes it: HOST or HOST:PORT, where HOST is a host name, an IPv4
// address or an IPv6 address ("[::1]:13366", or bare "::1" without a port). The host is kept
// without brackets, as the transport looks it up; a host name in another script is kept in its
// ASCII (punycode) form.
struct ServerAddress {
    QString host;
    uint16_t port = 0;
};

// Why a written server address was refused.
enum class ServerAddressError {
    kEmpty,
    kBadHost,
    kBadPort,
};

struct ServerAddressResult {
    std::optional<ServerAddress> address; // set when accepted
    ServerAddressError error = ServerAddressError::kEmpty;
};

// Reads HOST[:PORT]; a missing port is defaultPort. Blanks around the text are ignored.
ServerAddressResult ParseServerAddress(const QString& text, uint16_t defaultPort);

// The form ParseServerAddress reads back: "host:port", "[v6]:port".
QString FormatServerAddress(const QString& host, uint16_t port);

// Whether text is a host name (letters, digits and '-' in dot-separated labels of 1 to 63
// characters, 253 in all) or an IPv4 or IPv6 address.
bool IsValidHost(const QString& host);

// The web address as written in the settings: empty (follow the server), or an http or https
// address with a valid host and no user, query or fragment; kept without a trailing slash, as
// page paths are added to it. Nullopt when refused.
std::optional<QString> NormalizeWebUrl(const QString& text);

} // namespace vessaro
