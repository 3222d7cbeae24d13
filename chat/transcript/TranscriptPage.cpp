#include "TranscriptPage.h"

#include "Codec.h"

namespace vessaro {
namespace {

constexpr std::string_view kPageStart =
    "<html>"
    "<script language=javascript>\r\n<!--\r\nfunction tb()\r\n{\r\nwindow.scroll(0, 65000);\r\n}"
    "\r\n//-->\r\n</script>\r\n"
    "  <head>   \t\t\t<style>   \t\t\tbody{   \t\t\tSCROLLBAR-FACE-COLOR:#E7F2FE;   \t\t\t"
    "SCROLLBAR-HIGHLIGHT-COLOR:   #E7F2FE;   \t\t\tSCROLLBAR-SHADOW-COLOR:   83A0DE;   \t\t\t"
    "SCROLLBAR-3DLIGHT-COLOR:83A0DE;   \t\t\tSCROLLBAR-TRACK-COLOR:   E9EDF8;   \t\t\t"
    "SCROLLBAR-DARKSHADOW-COLOR:   E7F2FE;\t\t\t</style>   \t\t\t</head>   "
    "<body onload='tb();'>";
constexpr std::string_view kPageEnd = "</body></html>";

// Finds needle in text at a character boundary of the GBK text, from position start on.
std::size_t FindWhole(std::string_view text, std::string_view needle, std::size_t start) {
    for (std::size_t i = start; i + needle.size() <= text.size();
         i += GbkCharLength(text.substr(i))) {
        if (text.compare(i, needle.size(), needle) == 0)
            return i;
    }
    return std::string_view::npos;
}

std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = GbkCharLength(text.substr(i));
        if (len == 1) {
            switch (text[i]) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += text[i];
            }
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = FindWhole(text, from, pos)) != std::string_view::npos;) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

// The address inside an unquoted href: white space other than the blank that ends the address
// (tab, line feed, form feed, carriage return) would end the attribute and let the rest of the
// text act as attributes, so it is percent-encoded there; the visible text keeps it.
std::string HrefOf(std::string_view address) {
    std::string href;
    for (char c : address) {
        switch (c) {
        case '\t':
            href += "%09";
            break;
        case '\n':
            href += "%0A";
            break;
        case '\f':
            href += "%0C";
            break;
        case '\r':
            href += "%0D";
            break;
        default:
            href += c;
        }
    }
    return href;
}

// The mark after an entry's time stamp, GBK.
std::string DeliveryMark(Delivery delivery) {
    static const std::string pending =
        "&nbsp<font color=Gray>" + EncodeGbkOrEmpty("（发送中）") + "</font>";
    static const std::string failed =
        "&nbsp<font color=Red>" + EncodeGbkOrEmpty("（未送达）") + "</font>";
    switch (delivery) {
    case Delivery::Pending:
        return pending;
    case Delivery::Failed:
        return failed;
    case Delivery::Confirmed:
        break;
    }
    return {};
}

} // namespace

std::string_view PageStart() {
    return kPageStart;
}
std::string_view PageEnd() {
    return kPageEnd;
}

std::string FormatText(std::string_view gbkText) {
    std::string fragment =
        ReplaceAll("&nbsp;&nbsp;" + EscapeMarkup(gbkText), "\r\n", "<br>&nbsp;&nbsp");

    std::size_t start = FindWhole(fragment, "http://", 0);
    if (start == std::string::npos)
        return fragment;
    std::size_t end = FindWhole(fragment, " ", start);
    if (end == std::string::npos)
        end = FindWhole(fragment, "<br>", start);
    if (end == std::string::npos)
        end = fragment.size();
    std::string address = fragment.substr(start, end - start);
    std::string link = "<a href=" + HrefOf(address) + " target=_blank>" + address + "</a>";
    return ReplaceAll(fragment, address, link);
}

std::string EntryHtml(const ChatEntry& e) {
    std::string line;
    line.reserve(96 + e.speakerLabel.size() + e.messageText.size());
    line += "<p><font size=2 color=";
    line += e.colorName;
    line += ">";
    line += EscapeMarkup(e.speakerLabel); // a nickname comes from the partner, like the texts
    line += "&nbsp";
    line += e.timeStamp;
    line += DeliveryMark(e.delivery);
    line += "</font><p><font size=3>";
    line += FormatText(e.messageText);
    line += "</font>";
    return line;
}

std::string BuildPage(const std::vector<ChatEntry>& entries) {
    std::string page(kPageStart);
    for (const ChatEntry& e : entries)
        page += EntryHtml(e);
    page += kPageEnd;
    return page;
}

} // namespace vessaro
