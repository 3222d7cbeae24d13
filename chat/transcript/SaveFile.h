#pragma once

#include <string>
#include <string_view>

namespace vessaro {

// Writes bytes to a file by way of a temporary file beside it that is renamed into place, so a
// failure leaves the old file (or none) and never a partial one. Returns an error message for the
// user, or an empty string on success.
std::string SaveFileAtomically(const std::string& path, std::string_view bytes);

} // namespace vessaro
