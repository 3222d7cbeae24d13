#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace vessaro {

// A whole number in [low, high] written as 1 to maxDigits plain decimal digits: no sign, no blank,
// no other digits than 0-9 (QString::toUInt alone would take "+5" and " 5").
inline std::optional<uint32_t> ParseDecimal(const QString& text, qsizetype maxDigits, uint32_t low,
                                            uint32_t high) {
    if (text.isEmpty() || text.size() > maxDigits || maxDigits > 9)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const uint32_t number = text.toUInt();
    if (number < low || number > high)
        return std::nullopt;
    return number;
}

} // namespace vessaro
