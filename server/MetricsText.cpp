#include "MetricsText.h"

#include "Codec.h"

#include <charconv>
#include <map>

namespace vessaro {
namespace {

constexpr const char* kOtherTopics = "other";

std::string Number(double value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

class Writer {
public:
    void Family(const char* name, const char* type, const char* help) {
        text_ +=
            std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void Sample(const std::string& name, uint64_t value) {
        text_ += name + " " + std::to_string(value) + "\n";
    }
    void Sample(const std::string& name, const std::string& labels, uint64_t value) {
        Sample(name + "{" + labels + "}", value);
    }
    std::string& text() { return text_; }

private:
    std::string text_;
};

std::string Label(const char* name, std::string_view value) {
    return std::string(name) + "=\"" + EscapeLabelValue(value) + "\"";
}

void WriteTopics(Writer& w, const ServerStats& s) {
    std::map<std::string, uint64_t> byTopic;
    uint64_t other = s.waitingOtherTopics;
    for (const auto& [gbk, count] : s.waitingByTopic) {
        std::string topic = DecodeGbk(gbk);
        if (topic == kOtherTopics)
            other += count;
        else
            byTopic[topic] += count;
    }
    w.Family("vessaro_waiting_users", "gauge",
             "Users waiting for a partner, by topic (the busiest; the rest as other).");
    for (const auto& [topic, count] : byTopic)
        w.Sample("vessaro_waiting_users", Label("topic", topic), count);
    w.Sample("vessaro_waiting_users", Label("topic", kOtherTopics), other);
}

void WriteMatchDelay(Writer& w, const LatencyHistogram& h) {
    const std::string name = "vessaro_match_delay_seconds";
    w.Family(name.c_str(), "histogram", "Time from a match request to its offer.");
    for (std::size_t i = 0; i < h.kBoundsMs.size(); ++i)
        w.Sample(name + "_bucket", Label("le", Number(h.kBoundsMs[i] / 1000.0)), h.buckets[i]);
    w.Sample(name + "_bucket", Label("le", "+Inf"), h.count);
    w.text() += name + "_sum " + Number(h.sumMs / 1000.0) + "\n";
    w.Sample(name + "_count", h.count);
}

void WriteCluster(Writer& w, const cluster::ClusterStatus& c, const ServerStats& s) {
    w.Family("vessaro_cluster_joined", "gauge",
             "1 while this node is linked to the cluster's Redis, with its number and address.");
    w.Sample("vessaro_cluster_joined",
             Label("node", std::to_string(c.node)) + "," + Label("address", c.nodeAddress),
             c.joined ? 1 : 0);
    w.Family("vessaro_cluster_nodes_live", "gauge",
             "Live nodes of the cluster, this one included.");
    w.Sample("vessaro_cluster_nodes_live", c.nodesLive);
    w.Family("vessaro_cluster_frames_refused_total", "counter",
             "Frames from Redis dropped: forged, replayed, out of date or malformed.");
    w.Sample("vessaro_cluster_frames_refused_total", c.framesRefused);
    w.Family("vessaro_cluster_frames_dropped_total", "counter",
             "Frames for other nodes not sent: Redis unreachable or the queue full.");
    w.Sample("vessaro_cluster_frames_dropped_total", c.framesDropped);
    w.Family("vessaro_cluster_rejoins_total", "counter", "Times the cluster was joined again.");
    w.Sample("vessaro_cluster_rejoins_total", c.rejoins);
    w.Family("vessaro_cluster_remote_waiting_users", "gauge", "Users waiting on other nodes.");
    w.Sample("vessaro_cluster_remote_waiting_users", s.remoteWaiting);
    w.Family("vessaro_cluster_claims_total", "counter",
             "Claims of waiting users across nodes, by outcome.");
    const std::pair<const char*, uint64_t> claims[] = {
        {"sent", s.clusterClaimsSent},       {"won", s.clusterClaimsWon},
        {"lost", s.clusterClaimsLost},       {"granted", s.clusterClaimsGranted},
        {"refused", s.clusterClaimsRefused},
    };
    for (const auto& [outcome, count] : claims)
        w.Sample("vessaro_cluster_claims_total", Label("outcome", outcome), count);
    w.Family("vessaro_cluster_messages_total", "counter",
             "Node messages, by direction; refused: received but malformed or not the sender's.");
    w.Sample("vessaro_cluster_messages_total", Label("direction", "sent"), s.clusterMessagesSent);
    w.Sample("vessaro_cluster_messages_total", Label("direction", "received"), s.clusterMessagesIn);
    w.Sample("vessaro_cluster_messages_total", Label("direction", "refused"),
             s.clusterMessagesRefused);
}

} // namespace

std::string EscapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string FormatMetrics(const MetricsInput& input) {
    const ServerStats& s = input.stats;
    Writer w;
    w.Family("vessaro_sessions", "gauge", "Open sessions, by whether their address is proven.");
    w.Sample("vessaro_sessions", Label("state", "proven"), s.sessions);
    w.Sample("vessaro_sessions", Label("state", "unproven"), s.unprovenSessions);
    WriteTopics(w, s);
    w.Family("vessaro_conversations", "gauge", "Offers and conversations under way.");
    w.Sample("vessaro_conversations", s.conversations);
    w.Family("vessaro_datagrams_received_total", "counter", "Datagrams received.");
    w.Sample("vessaro_datagrams_received_total", s.datagramsIn);
    w.Family("vessaro_datagrams_sent_total", "counter", "Datagrams sent.");
    w.Sample("vessaro_datagrams_sent_total", s.datagramsOut);
    w.Family("vessaro_dropped_datagrams_total", "counter", "Datagrams dropped, by reason.");
    const std::pair<const char*, uint64_t> drops[] = {
        {"address_rate", s.droppedAddressRate}, {"text_rate", s.droppedTextRate},
        {"malformed", s.droppedMalformed},      {"unknown_session", s.droppedUnknownSession},
        {"wrong_sender", s.droppedWrongSender}, {"per_address_limit", s.refusedPerAddress},
        {"server_full", s.refusedFull},
    };
    for (const auto& [reason, count] : drops)
        w.Sample("vessaro_dropped_datagrams_total", Label("reason", reason), count);
    w.Family("vessaro_matches_total", "counter", "Offers started.");
    w.Sample("vessaro_matches_total", s.matchesMade);
    WriteMatchDelay(w, s.matchDelay);
    w.Family("vessaro_texts_relayed_total", "counter", "Texts passed on to a partner.");
    w.Sample("vessaro_texts_relayed_total", s.textsRelayed);
    w.Family("vessaro_http_requests_total", "counter", "HTTP requests answered.");
    w.Sample("vessaro_http_requests_total", input.httpRequests);
    w.Family("vessaro_send_failures_total", "counter", "Datagrams the socket would not take.");
    w.Sample("vessaro_send_failures_total", s.sendFailures);
    w.Family("vessaro_socket_drops_total", "counter",
             "Datagrams the server's own sockets dropped on arrival: their buffers were full.");
    w.Sample("vessaro_socket_drops_total", s.socketDrops);
    if (input.cluster.enabled)
        WriteCluster(w, input.cluster, s);
    return std::move(w.text());
}

} // namespace vessaro
