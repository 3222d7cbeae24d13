#include "Figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace vessaro::bench {
namespace {

double Rank(const std::vector<double>& sorted, double fraction) {
    std::size_t rank = std::size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::string Number(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

} // namespace

Spread Summarise(std::vector<double> samples) {
    Spread spread;
    spread.count = samples.size();
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    spread.median = Rank(samples, 0.5);
    spread.p99 = Rank(samples, 0.99);
    return spread;
}

Figure AtMost(std::string name, double value, std::string unit, double limit,
              std::string limitText) {
    Figure f{std::move(name), value, std::move(unit), "<= " + limitText, value <= limit, {}};
    return f;
}

Figure AtLeast(std::string name, double value, std::string unit, double limit,
               std::string limitText) {
    Figure f{std::move(name), value, std::move(unit), ">= " + limitText, value >= limit, {}};
    return f;
}

std::string JsonLine(const Figure& f) {
    std::string line = "{\"figure\":" + Quoted(f.name) + ",\"value\":" + Number(f.value) +
                       ",\"unit\":" + Quoted(f.unit);
    if (f.ratio)
        line += ",\"ratio\":" + Number(*f.ratio);
    if (f.met)
        line += ",\"target\":" + Quoted(f.target) + ",\"met\":" + (*f.met ? "true" : "false");
    return line + "}";
}

std::string Table(const std::vector<Figure>& figures) {
    std::ostringstream out;
    char row[256];
    std::snprintf(row, sizeof row, "%-34s %14s %-8s %9s  %s\n", "figure", "value", "unit", "ratio",
                  "target");
    out << row;
    for (const Figure& f : figures) {
        std::string ratio = f.ratio ? Number(*f.ratio) : "";
        std::string target = f.met ? f.target + (*f.met ? "  met" : "  NOT MET") : "";
        std::snprintf(row, sizeof row, "%-34s %14s %-8s %9s  %s\n", f.name.c_str(),
                      Number(f.value).c_str(), f.unit.c_str(), ratio.c_str(), target.c_str());
        out << row;
    }
    return out.str();
}

} // namespace vessaro::bench
