#pragma once

// A plain-socket HTTP/1.1 client for tests: one request per connection, answer read to the end.

#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vessaro::test {

struct HttpAnswer {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// A TCP connection to 127.0.0.1:port from the loopback address source (host order), or -1.
inline int ConnectFrom(uint32_t source, uint16_t port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(source);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (s >= 0)
            close(s);
        return -1;
    }
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// Reads until the peer closes or timeoutMs passes; false on time-out.
inline bool ReadToEnd(int s, std::string& out, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{s, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0)
            return false;
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
        out.append(buffer, std::size_t(n));
    }
}

inline std::optional<HttpAnswer> HttpRequest(uint16_t port, const std::string& method,
                                             const std::string& path,
                                             uint32_t source = INADDR_LOOPBACK,
                                             int timeoutMs = 5000) {
    const int s = ConnectFrom(source, port);
    if (s < 0)
        return std::nullopt;
    const std::string request =
        method + " " + path + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n";
    std::string raw;
    const bool complete =
        send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()) &&
        ReadToEnd(s, raw, timeoutMs);
    close(s);
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (!complete || raw.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos)
        return std::nullopt;
    HttpAnswer answer;
    answer.status = std::stoi(raw.substr(9, 3));
    for (std::size_t at = raw.find("\r\n") + 2; at < headEnd;) {
        const std::size_t lineEnd = raw.find("\r\n", at);
        const std::string line = raw.substr(at, lineEnd - at);
        const std::size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        if (colon != std::string::npos)
            answer.headers[name] = value == std::string::npos ? "" : line.substr(value);
        at = lineEnd + 2;
    }
    answer.body = raw.substr(headEnd + 4);
    return answer;
}

} // namespace vessaro::test
