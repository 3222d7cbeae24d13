#include "WireTransform.h"

namespace vessaro {

int CommInvertBytes(const uint8_t* source, uint8_t* destination, int length) {
    for (int i = 0; i < length; ++i)
        destination[i] = static_cast<uint8_t>(~source[i]);
    return 0;
}

} // namespace vessaro
