// The page of a conversation built from any text: whatever a partner sends, the only markup in
// the page is the page's own.
#include "Codec.h"
#include "FuzzInput.h"
#include "TranscriptPage.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vessaro;

namespace {

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.substr(at, prefix.size()) == prefix;
}

// Every '<' of a formatted text opens a line break, a link's end, or a link whose unquoted address
// holds nothing that could end the attribute or the tag. An address that runs on over a line
// break ends the tag at that break's own "<br>": the rest shows as text, never as attributes.
bool OnlyOwnMarkup(std::string_view html) {
    for (std::size_t at = html.find('<'); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        if (StartsWith(html, at, "<br>") || StartsWith(html, at, "</a>"))
            continue;
        if (!StartsWith(html, at, "<a href="))
            return false;
        std::size_t i = at + 8;
        while (i < html.size() &&
               std::string_view(" \t\n\f\r<>\"'").find(html[i]) == std::string_view::npos)
            ++i;
        if (!StartsWith(html, i, " target=_blank>") && !StartsWith(html, i, "<br>"))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string html = FormatText(text);
    if (!OnlyOwnMarkup(html))
        std::abort();

    // A page of entries cut from the same bytes: speaker labels and texts both come from partners.
    fuzz::FuzzInput in(data, size);
    std::vector<ChatEntry> entries;
    while (!in.empty() && entries.size() < 8) {
        auto label = in.Bytes(in.Byte() % 32);
        auto message = in.Bytes(in.Byte());
        entries.push_back({std::string(label.begin(), label.end()), "12:34:56", "Blue",
                           std::string(message.begin(), message.end())});
    }
    std::string page = BuildPage(entries);
    std::string expected(PageStart());
    for (const ChatEntry& e : entries)
        expected += EntryHtml(e);
    expected += PageEnd();
    if (page != expected)
        std::abort();
    for (const ChatEntry& e : entries) {
        std::string entry = EntryHtml(e);
        // The label sits between the colour and "&nbsp"; it must hold no markup at all.
        std::string colour = "color=" + e.colorName + ">";
        std::size_t labelStart = entry.find(colour) + colour.size();
        std::size_t labelEnd = entry.find("&nbsp" + e.timeStamp, labelStart);
        if (labelEnd == std::string::npos ||
            entry.substr(labelStart, labelEnd - labelStart).find('<') != std::string::npos)
            std::abort();
    }
    return 0;
}
