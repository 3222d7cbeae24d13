#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessaro::bench {

// Median and 99th percentile of a set of samples (nearest rank); zeros for no samples.
struct Spread {
    double median = 0;
    double p99 = 0;
    std::size_t count = 0;
};
Spread Summarise(std::vector<double> samples);

// One measured figure. A figure with a target says whether it was met; the ratio is against the
// baseline measured in the same run, where there is one.
struct Figure {
    std::string name; // e.g. "relay.rate"
    double value = 0;
    std::string unit;            // e.g. "msg/s", "us", "MB"
    std::string target;          // e.g. ">= 0.8 x baseline"; empty: no target
    std::optional<bool> met;     // set when there is a target
    std::optional<double> ratio; // value over its baseline
};

// A figure held to "value <= limit" or "value >= limit".
Figure AtMost(std::string name, double value, std::string unit, double limit,
              std::string limitText);
Figure AtLeast(std::string name, double value, std::string unit, double limit,
               std::string limitText);

// The JSON line of one figure: {"figure":...,"value":...,"unit":...[,"ratio":...][,"target":...,
// "met":...]}. Non-finite values are written as null.
std::string JsonLine(const Figure& figure);
// A fixed-width table of the figures, one row each, targets shown as "met" or "NOT MET".
std::string Table(const std::vector<Figure>& figures);

} // namespace vessaro::bench
