// The GBK codec fed any bytes, both ways: decoding never fails and yields valid UTF-8; what
// encodes comes back unchanged; cutting and field copies never split a character or overrun.
#include "Codec.h"

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace vessaro;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// Walking character by character from the start lands exactly on the end.
bool WholeCharacters(std::string_view gbk) {
    std::size_t i = 0;
    while (i < gbk.size())
        i += GbkCharLength(gbk.substr(i));
    return i == gbk.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // As GBK from the network.
    std::string utf8 = DecodeGbk(bytes);
    Require(EncodeGbk(utf8).has_value());
    for (std::size_t limit : {0u, 1u, 2u, 3u, 63u, 511u}) {
        std::string_view cut = TruncateGbk(bytes, limit);
        Require(cut.size() <= limit && cut == bytes.substr(0, cut.size()));
        Require(WholeCharacters(cut));
    }
    std::array<char, 64> field;
    field.fill('x');
    CopyToField(field, bytes);
    std::string_view kept = FieldText(field);
    Require(kept.size() < field.size());
    for (std::size_t i = kept.size(); i < field.size(); ++i)
        Require(field[i] == 0);
    Require(kept == TruncateGbk(bytes, 63).substr(0, kept.size()));

    // As UTF-8 typed by a user.
    if (auto gbk = EncodeGbk(bytes)) {
        Require(DecodeGbk(*gbk) == bytes);
        Require(GbkLength(bytes) == gbk->size());
        Require(WholeCharacters(*gbk));
    } else {
        Require(!GbkLength(bytes).has_value());
    }
    return 0;
}
