#pragma once

#include <QValidator>

#include <cstddef>

namespace vessaro {

// Refuses any edit that would make the text longer than a number of GBK bytes (a Chinese character
// counts as two), so that typing, pasting or an input method's commit past the limit does not
// happen: the edit keeps its previous text.
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
