#pragma once

#include <cstdint>

namespace vessaro {

// The wire transform: every byte of a datagram is complemented just before it is sent to the
// server and just after it is received. Source and destination may be the same buffer; a length
// of 0 or less does nothing. Always returns 0.
int CommInvertBytes(const uint8_t* source, uint8_t* destination, int length);

} // namespace vessaro
