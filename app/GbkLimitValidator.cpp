#include "GbkLimitValidator.h"

#include "Codec.h"

#include <limits>

namespace vessaro {

std::size_t GbkBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return GbkLength(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))
        .value_or(std::numeric_limits<std::size_t>::max());
}

GbkLimitValidator::GbkLimitValidator(std::size_t maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

QValidator::State GbkLimitValidator::validate(QString& input, int& /*pos*/) const {
    return GbkBytes(input) <= maxBytes_ ? Acceptable : Invalid;
}

} // namespace vessaro
