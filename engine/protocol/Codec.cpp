#include "Codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace vessaro {
namespace {

// One converter per thread and direction: an iconv descriptor keeps state and is not shareable.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in; on a byte sequence that cannot be converted, calls onBad(out, in) which
    // may append a replacement and must say how many input bytes to skip (0 aborts).
    template <typename OnBad>
    bool Convert(std::string_view in, std::string& out, OnBad onBad) {
        if (!valid())
            return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.clear();
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        size_t written = 0;
        while (srcLeft > 0) {
            char* dst = out.data() + written;
            size_t dstLeft = out.size() - written;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            written = out.size() - dstLeft;
            if (r != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            out.resize(written);
            size_t skip = onBad(out, std::string_view(src, srcLeft));
            if (skip == 0)
                return false;
            written = out.size();
            out.resize(written + srcLeft * 2 + 16);
            src += std::min(skip, srcLeft);
            srcLeft -= std::min(skip, srcLeft);
        }
        out.resize(written);
        return true;
    }

private:
    iconv_t cd_;
};

Converter& Encoder() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

Converter& Decoder() {
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

} // namespace

std::optional<std::string> EncodeGbk(std::string_view utf8) {
    std::string out;
    if (!Encoder().Convert(utf8, out, [](std::string&, std::string_view) { return size_t{0}; }))
        return std::nullopt;
    return out;
}

std::string EncodeGbkOrEmpty(std::string_view utf8) {
    return EncodeGbk(utf8).value_or("");
}

std::string DecodeGbk(std::string_view gbk) {
    std::string out;
    Decoder().Convert(gbk, out, [](std::string& o, std::string_view rest) {
        o += "\xEF\xBF\xBD";
        return std::min(GbkCharLength(rest), rest.size());
    });
    return out;
}

std::optional<std::size_t> GbkLength(std::string_view utf8) {
    auto encoded = EncodeGbk(utf8);
    if (!encoded)
        return std::nullopt;
    return encoded->size();
}

std::size_t GbkCharLength(std::string_view t) {
    if (t.empty())
        return 0;
    auto b = [&](size_t i) { return static_cast<unsigned char>(t[i]); };
    auto isLead = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
    auto isDigit = [](unsigned char c) { return c >= 0x30 && c <= 0x39; };
    if (!isLead(b(0)) || t.size() < 2)
        return 1;
    if (isDigit(b(1)))
        return t.size() >= 4 && isLead(b(2)) && isDigit(b(3)) ? 4 : 1;
    return (b(1) >= 0x40 && b(1) <= 0xFE && b(1) != 0x7F) ? 2 : 1;
}

std::string_view TruncateGbk(std::string_view gbk, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < gbk.size()) {
        std::size_t len = GbkCharLength(gbk.substr(end));
        if (end + len > maxBytes)
            break;
        end += len;
    }
    return gbk.substr(0, end);
}

void CopyToField(std::span<char> field, std::string_view gbk) {
    if (field.empty())
        return;
    std::string_view kept = TruncateGbk(gbk.substr(0, gbk.find('\0')), field.size() - 1);
    if (!kept.empty()) // an empty view may have no storage at all
        std::memcpy(field.data(), kept.data(), kept.size());
    std::memset(field.data() + kept.size(), 0, field.size() - kept.size());
}

std::string_view FieldText(std::span<const char> field) {
    const char* end = static_cast<const char*>(std::memchr(field.data(), 0, field.size()));
    return std::string_view(field.data(), end ? size_t(end - field.data()) : field.size());
}

} // namespace vessaro
