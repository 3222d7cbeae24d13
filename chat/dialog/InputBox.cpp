#include "InputBox.h"

#include <QPlainTextEdit>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace vessaro {
namespace {

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

// Walks text one character (a code point: one or two UTF-16 units) at a time.
int CharacterUnits(const QString& text, qsizetype at) {
    return text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2
                                                                                               : 1;
}

class ByteCounter {
public:
    int Of(const QString& text, qsizetype at, int units) {
        const QChar c = text[at];
        if (IsLineBreak(c))
            return 2;
        if (c.unicode() < 0x80)
            return 1;
        return int(QByteArray(encoder_.encode(QStringView(text).mid(at, units))).size());
    }

private:
    QStringEncoder encoder_{"GB18030"};
};

// How many UTF-16 units of text, whole characters, fit into budget bytes.
qsizetype UnitsWithin(const QString& text, int budget) {
    ByteCounter counter;
    qsizetype at = 0;
    while (at < text.size()) {
        const int units = CharacterUnits(text, at);
        budget -= counter.Of(text, at, units);
        if (budget < 0)
            break;
        at += units;
    }
    return at;
}

} // namespace

InputBox::InputBox(QPlainTextEdit* edit, int maxBytes)
    : QObject(edit), edit_(edit), maxBytes_(maxBytes) {
    connect(edit_->document(), &QTextDocument::contentsChange, this, &InputBox::Enforce);
}

int InputBox::EncodedLength(const QString& text) {
    ByteCounter counter;
    int bytes = 0;
    for (qsizetype at = 0; at < text.size();) {
        const int units = CharacterUnits(text, at);
        // A CR LF pair is one line break.
        if (text[at] == QLatin1Char('\r') && at + 1 < text.size() && text[at + 1] == '\n')
            ++at;
        bytes += counter.Of(text, at, units);
        at += units;
    }
    return bytes;
}

QString InputBox::Text() const {
    QString text = edit_->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void InputBox::SetText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    edit_->setPlainText(plain);
    edit_->moveCursor(QTextCursor::End);
}

void InputBox::InsertLineBreak() {
    edit_->insertPlainText(QStringLiteral("\n"));
}

// Runs after every change of the document: when the change took the text over the limit, the
// end of what was just inserted is taken out again, so the text keeps what fits.
void InputBox::Enforce(int position, int /*removed*/, int added) {
    if (enforcing_)
        return;
    const int excess = EncodedLength(edit_->toPlainText()) - maxBytes_;
    if (excess <= 0)
        return;

    QTextDocument* document = edit_->document();
    const int last = document->characterCount() - 1; // the final paragraph mark is not text
    const int end = std::clamp(position + added, 0, last);
    const int start = std::clamp(position, 0, end);
    QTextCursor cursor(document);
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    const QString inserted = cursor.selectedText();
    const int budget = std::max(0, EncodedLength(inserted) - excess);

    enforcing_ = true;
    cursor.setPosition(start + int(UnitsWithin(inserted, budget)));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.joinPreviousEditBlock(); // one undo step takes back the whole insertion
    cursor.removeSelectedText();
    cursor.endEditBlock();
    enforcing_ = false;
}

} // namespace vessaro
