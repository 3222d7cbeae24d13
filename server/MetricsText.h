#pragma once

#include "ServerStats.h"
#include "cluster/ClusterStatus.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vessaro {

// What /metrics shows: the server's stats and the HTTP requests its listeners answered.
struct MetricsInput {
    ServerStats stats;
    uint64_t httpRequests = 0;
    cluster::ClusterStatus cluster; // its families are written only in a cluster
};

// The metrics in the Prometheus text format (version 0.0.4): a HELP and a TYPE line per family,
// counters named *_total, the match delay as a histogram in seconds. Topics become UTF-8 label
// values; topics whose text comes out the same (and a topic called "other") are added together,
// so that no series is written twice whatever users call their topics.
std::string FormatMetrics(const MetricsInput& input);

// A label value with backslash, double quote and line feed escaped as the format asks.
std::string EscapeLabelValue(std::string_view value);

} // namespace vessaro
