#include "GbkLimitValidator.h"

#include "Codec.h"

#include <algorithm>
#include <limits>

namespace vessaro {

std::size_t GbkBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return GbkLength(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))
        .value_or(std::numeric_limits<std::size_t>::max());
}

GbkLimitValidator::GbkLimitValidator(std::size_t maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

// An edit that overflows the limit keeps what fits of it: the text after the cursor (which was
// there before) stays, and the text before it (what was there plus what came in) is cut at the
// last whole character that fits. A paste of a long text keeps its beginning.
QValidator::State GbkLimitValidator::validate(QString& input, int& pos) const {
    if (GbkBytes(input) <= maxBytes_)
        return Acceptable;
    const qsizetype cursor = std::clamp<qsizetype>(pos, 0, input.size());
    const std::size_t after = GbkBytes(input.mid(cursor));
    if (after > maxBytes_)
        return Invalid;
    const std::size_t budget = maxBytes_ - after;
    std::size_t used = 0;
    qsizetype keep = 0;
    while (keep < cursor) {
        qsizetype next = keep + 1;
        if (input[keep].isHighSurrogate() && next < cursor && input[next].isLowSurrogate())
            ++next;
        const std::size_t bytes = GbkBytes(input.mid(keep, next - keep));
        if (bytes > budget - used)
            break;
        used += bytes;
        keep = next;
    }
    input.remove(keep, cursor - keep);
    pos = static_cast<int>(keep);
    return Acceptable;
}

} // namespace vessaro
