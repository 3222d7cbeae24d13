#pragma once

#include <QValidator>

#include <cstddef>

namespace vessaro {

// Keeps a text within a number of GBK bytes (a Chinese character counts as two). Typing, pasting
// or an input method's commit past the limit keeps what fits of the new text, cut at a whole
// character; nothing already in the field is lost.
class GbkLimitValidator : public QValidator {
    Q_OBJECT
public:
    GbkLimitValidator(std::size_t maxBytes, QObject* parent);

    State validate(QString& input, int& pos) const override;
    std::size_t maxBytes() const { return maxBytes_; }

private:
    std::size_t maxBytes_;
};

// Bytes of the text in GBK (GB18030); SIZE_MAX when it cannot be encoded.
std::size_t GbkBytes(const QString& text);

} // namespace vessaro
