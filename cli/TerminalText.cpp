#include "TerminalText.h"

#include <cstdint>
#include <cstdio>

namespace vessaro::cli {
namespace {

// The code point at text[i] and its length in bytes; length 0 when the bytes there are not a
// well-formed UTF-8 sequence (overlong forms, surrogates and values above U+10FFFF included).
struct CodePoint {
    uint32_t value = 0;
    std::size_t length = 0;
};

CodePoint Decode(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length;
    uint32_t value, minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return {};
    }
    if (i + length > text.size())
        return {};
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return {};
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {};
    return {value, length};
}

bool ShownAsEscape(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

void AppendSafe(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        CodePoint c = Decode(text, i);
        if (c.length == 0) {
            AppendEscape(out, "\\x%02x", static_cast<uint8_t>(text[i]));
            ++i;
            continue;
        }
        if (!ShownAsEscape(c.value))
            out.append(text.substr(i, c.length));
        else if (c.value < 0x80)
            AppendEscape(out, "\\x%02x", c.value);
        else
            AppendEscape(out, "\\u%04x", c.value);
        i += c.length;
    }
}

} // namespace

std::string TerminalSafe(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendSafe(out, utf8);
    return out;
}

std::vector<std::string> TerminalLines(std::string_view utf8) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        std::size_t end = utf8.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            AppendSafe(lines.back(), utf8.substr(i));
            break;
        }
        AppendSafe(lines.back(), utf8.substr(i, end - i));
        if (utf8[end] == '\r' && end + 1 < utf8.size() && utf8[end + 1] == '\n')
            ++end;
        lines.emplace_back();
        i = end;
    }
    return lines;
}

} // namespace vessaro::cli
