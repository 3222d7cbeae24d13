#pragma once

#include <QObject>
#include <QString>

class QPlainTextEdit;

namespace vessaro {

// The chat window's input box as the conversation sees it: a length limit counted in GBK bytes
// that holds for every way text gets in (typing, input methods, pasting, dropping, setting it),
// and line breaks read back as CR LF pairs, as they are sent and shown.
class InputBox : public QObject {
    Q_OBJECT
public:
    InputBox(QPlainTextEdit* edit, int maxBytes);

    QString Text() const;
    // Line breaks may be CR LF or LF; text beyond the limit is cut off.
    void SetText(const QString& text);
    // Breaks the line at the cursor, when the break still fits.
    void InsertLineBreak();

    QPlainTextEdit* edit() const { return edit_; }
    int maxBytes() const { return maxBytes_; }

    // Bytes the text takes in GBK, each line break counted as a CR LF pair.
    static int EncodedLength(const QString& text);

private:
    void Enforce(int position, int removed, int added);

    QPlainTextEdit* edit_;
    int maxBytes_;
    bool enforcing_ = false;
};

} // namespace vessaro
