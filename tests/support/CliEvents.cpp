#include "CliEvents.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vessaro::test {
namespace {

constexpr std::size_t kLinesShown = 40;

std::string Marker(const std::string& event) {
    return "\"event\":\"" + event + "\"";
}

std::string EventName(const std::string& line) {
    auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_object() || !parsed.contains("event") || !parsed["event"].is_string())
        return "";
    return parsed["event"].get<std::string>();
}

} // namespace

nlohmann::json ExpectEvent(ChildProcess& client, const std::string& event,
                           std::chrono::milliseconds timeout) {
    auto line = client.WaitFor(Marker(event), timeout);
    if (!line) {
        const std::vector<std::string>& lines = client.lines();
        std::string printed;
        for (std::size_t i = lines.size() > kLinesShown ? lines.size() - kLinesShown : 0;
             i < lines.size(); ++i)
            printed += "\n  " + lines[i];
        ADD_FAILURE() << "no \"" << event << "\" event; the last lines printed:" << printed;
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(*line);
}

bool HasPrinted(const ChildProcess& client, const std::string& event) {
    return !EventsOf(client, event).empty();
}

std::vector<nlohmann::json> EventsOf(const ChildProcess& client, const std::string& event) {
    std::vector<nlohmann::json> found;
    for (const std::string& line : client.lines())
        if (line.find(Marker(event)) != std::string::npos && EventName(line) == event)
            found.push_back(nlohmann::json::parse(line));
    return found;
}

bool ReadUntilCount(ChildProcess& client, const std::vector<std::string>& events, std::size_t count,
                    std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto counted = [&] {
        std::size_t n = 0;
        for (const std::string& line : client.lines())
            n += std::count(events.begin(), events.end(), EventName(line)) > 0;
        return n;
    };
    while (counted() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        // WaitFor keeps every line it reads; a marker that never appears just reads one line.
        if (!client.WaitFor(Marker(events.front()), std::min(left, std::chrono::milliseconds(500))))
            if (!client.running())
                return counted() >= count;
    }
    return true;
}

} // namespace vessaro::test
