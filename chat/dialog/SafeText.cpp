#include "SafeText.h"

#include "Codec.h"

#include <QStringList>

namespace vessaro {
namespace {

bool IsLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\u0085' ||
           c == u'\u2028' || c == u'\u2029';
}

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// Embeddings and overrides (LRE, RLE, PDF, LRO, RLO) and isolates (LRI, RLI, FSI, PDI). The marks
// (LRM, RLM, ALM) only steer neutral characters next to them and are kept.
bool IsBidiControl(char16_t c) {
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

void MakeFieldSafe(std::span<char> field) {
    const QString shown = QString::fromStdString(DecodeGbk(FieldText(field)));
    CopyToField(field, EncodeGbk(SafeLine(shown).toStdString()).value_or(std::string()));
}

} // namespace

QString SafeLine(QStringView text) {
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (IsLineBreak(c)) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i; // CR LF is one break
            safe += QLatin1Char(' ');
        } else if (IsControl(c)) {
            safe += QChar(QChar::ReplacementCharacter);
        } else if (!IsBidiControl(c)) {
            safe += QChar(c);
        }
    }
    return safe;
}

QString NotificationText(QStringView text, qsizetype maxChars) {
    QString safe = SafeLine(text).trimmed();
    if (safe.size() <= maxChars || maxChars < 1)
        return safe;
    qsizetype cut = maxChars - 1;
    if (cut > 0 && safe[cut - 1].isHighSurrogate())
        --cut;
    return safe.left(cut) + QChar(0x2026);
}

namespace {

bool OffersNoBreak(QChar c) {
    return !c.isSpace() && (c.unicode() < 0x2E80 || c.isSurrogate()); // not an ideograph
}

} // namespace

QString Wrappable(QStringView text) {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        while (end < text.size() && OffersNoBreak(text[end]))
            ++end;
        if (end - i > kWrapRun) {
            for (qsizetype k = i; k < end; ++k) {
                out += text[k];
                if (!text[k].isHighSurrogate() && k + 1 < end)
                    out += QChar(0x200B);
            }
        } else {
            out += text.mid(i, end - i);
        }
        if (end < text.size())
            out += text[end];
        i = end + 1;
    }
    return out;
}

QString SafeLines(QStringView text) {
    QStringList lines;
    for (QStringView line : text.split(u"\r\n"))
        lines << SafeLine(line);
    return lines.join(QLatin1Char('\n'));
}

UserProfile SafeProfile(UserProfile profile) {
    for (std::span<char> field :
         {std::span<char>(profile.communityId), std::span<char>(profile.nickname),
          std::span<char>(profile.occupation), std::span<char>(profile.city),
          std::span<char>(profile.district), std::span<char>(profile.intro)})
        MakeFieldSafe(field);
    return profile;
}

} // namespace vessaro
