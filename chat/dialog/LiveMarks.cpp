#include "LiveMarks.h"

#include "Codec.h"
#include "HtmlPageStore.h"
#include "TranscriptPage.h"

#include <QCoreApplication>

#include <cstring>

namespace vessaro {
namespace {

constexpr const char* kResendPath = "/resend/";

std::string ResendHint() {
    //: English: Click to send again
    const QString hint = QCoreApplication::translate("CChatDialog", "点击重新发送");
    return EncodeGbkOrEmpty(hint.toHtmlEscaped().toStdString());
}

// The mark's words in the interface's language (the transcript writes them in Chinese).
void TranslateMarkWords(std::string& mark) {
    const auto swap = [&mark](const char* chinese, const QString& shown) {
        const std::string from = EncodeGbkOrEmpty(chinese);
        const std::size_t at = mark.find(from);
        if (!from.empty() && at != std::string::npos)
            mark.replace(at, from.size(), EncodeGbkOrEmpty(shown.toHtmlEscaped().toStdString()));
    };
    //: English: (sending)
    swap("（发送中）", QCoreApplication::translate("vessaro::TranscriptPage", "（发送中）"));
    //: English: (not delivered)
    swap("（未送达）", QCoreApplication::translate("vessaro::TranscriptPage", "（未送达）"));
}

} // namespace

std::string LiveDeliveryMark(const ChatEntry& entry) {
    std::string mark = DeliveryMark(entry);
    TranslateMarkWords(mark);
    if (entry.delivery != Delivery::Failed)
        return mark;
    // <span id=...>MARK</span> becomes <span id=...><a ...>MARK</a></span>: the element keeps its
    // id, so that the mark can still be changed in place.
    const std::size_t open = mark.find('>');
    const std::size_t close = mark.rfind("</span>");
    if (open == std::string::npos || close == std::string::npos || close <= open)
        return mark;
    const std::string link = "<a style=\"text-decoration:none\" title=\"" + ResendHint() +
                             "\" href=\"" + ResendUrl(entry.index).toString().toStdString() + "\">";
    mark.insert(close, "</a>");
    mark.insert(open + 1, link);
    return mark;
}

std::string LiveEntryHtml(const ChatEntry& entry) {
    std::string html = EntryHtml(entry);
    const std::string plain = DeliveryMark(entry);
    if (!plain.empty()) {
        const std::size_t at = html.find(plain);
        if (at != std::string::npos)
            html.replace(at, plain.size(), LiveDeliveryMark(entry));
    }
    return html;
}

std::string LivePage(const std::vector<ChatEntry>& entries) {
    std::string page(PageStart());
    for (const ChatEntry& entry : entries)
        page += LiveEntryHtml(entry);
    page += PageEnd();
    return page;
}

std::string SavedPage(const std::vector<ChatEntry>& entries) {
    std::string page(PageStart());
    for (const ChatEntry& entry : entries) {
        if (entry.delivery == Delivery::Confirmed)
            page += EntryHtml(entry);
    }
    page += PageEnd();
    return page;
}

QUrl ResendUrl(std::size_t index) {
    QUrl url;
    url.setScheme(QString::fromLatin1(HtmlPageStore::kScheme));
    url.setPath(QString::fromLatin1(kResendPath) + QString::number(index));
    return url;
}

std::optional<std::size_t> ResendIndex(const QUrl& url) {
    const QString path = url.path();
    if (url.scheme() != QLatin1String(HtmlPageStore::kScheme) ||
        !path.startsWith(QLatin1String(kResendPath)))
        return std::nullopt;
    const QString digits = path.mid(int(std::strlen(kResendPath)));
    if (digits.isEmpty() || digits.size() > 9)
        return std::nullopt;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return static_cast<std::size_t>(digits.toULongLong());
}

} // namespace vessaro
