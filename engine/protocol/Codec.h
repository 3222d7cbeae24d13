#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vessaro {

// The one place where the user's Unicode text (UTF-8 in this code) meets the GBK of the records,
// the wire and the saved transcript. Encoding uses GB18030, which is byte for byte GBK for every
// GBK character and can still carry any other character, so nothing typed is lost between two
// clients.

// UTF-8 to GB18030. Empty result when the input is not valid UTF-8.
std::optional<std::string> EncodeGbk(std::string_view utf8);

// As EncodeGbk, for texts known to be valid (built-in labels); invalid input gives "".
std::string EncodeGbkOrEmpty(std::string_view utf8);

// GB18030 to UTF-8. Bytes that do not form a character become U+FFFD; never fails.
std::string DecodeGbk(std::string_view gbk);

// Encoded length in bytes, as input limits count it; empty when the input is not valid UTF-8.
std::optional<std::size_t> GbkLength(std::string_view utf8);

// Length of the GB18030 character that starts text: 1, 2 or 4. A lead byte whose sequence is
// cut off or malformed counts as one byte, so a walk over any bytes always advances.
std::size_t GbkCharLength(std::string_view text);

// The longest prefix of text of at most maxBytes bytes that does not split a character.
std::string_view TruncateGbk(std::string_view gbk, std::size_t maxBytes);

// Copies text into a fixed field: at most field.size() - 1 bytes, whole characters only, then
// zeros up to the end of the field.
void CopyToField(std::span<char> field, std::string_view gbk);

// The text of a fixed field up to its terminator, or the whole field when it has none.
std::string_view FieldText(std::span<const char> field);

} // namespace vessaro
