#include "TranscriptPage.h"
#include "Codec.h"

#include <gtest/gtest.h>

using namespace vessaro;

namespace {

std::string Gbk(std::string_view utf8) {
    return EncodeGbk(utf8).value();
}

const std::string kStart =
    "<html><script language=javascript>\r\n<!--\r\nfunction tb()\r\n{\r\nwindow.scroll(0, "
    "65000);\r\n}\r\n//-->\r\n</script>\r\n  <head>   \t\t\t<style>   \t\t\tbody{   \t\t\t"
    "SCROLLBAR-FACE-COLOR:#E7F2FE;   \t\t\tSCROLLBAR-HIGHLIGHT-COLOR:   #E7F2FE;   \t\t\t"
    "SCROLLBAR-SHADOW-COLOR:   83A0DE;   \t\t\tSCROLLBAR-3DLIGHT-COLOR:83A0DE;   \t\t\t"
    "SCROLLBAR-TRACK-COLOR:   E9EDF8;   \t\t\tSCROLLBAR-DARKSHADOW-COLOR:   E7F2FE;\t\t\t"
    "</style>   \t\t\t</head>   <body onload='tb();'>";

TEST(TranscriptPage, EmptyPageIsTheFixedPieces) {
    EXPECT_EQ(BuildPage({}), kStart + "</body></html>");
}

TEST(TranscriptPage, EntriesFollowEachOtherExactly) {
    std::vector<ChatEntry> entries = {
        {Gbk("系统消息"), "08:05:03", "Teal", Gbk("你好")},
        {"Tom", "23:59:59", "Green", "a\r\nb"},
    };
    EXPECT_EQ(BuildPage(entries),
              kStart + "<p><font size=2 color=Teal>" + Gbk("系统消息") +
                  "&nbsp08:05:03</font><p><font size=3>&nbsp;&nbsp;" + Gbk("你好") +
                  "</font><p><font size=2 color=Green>Tom&nbsp23:59:59</font><p><font "
                  "size=3>&nbsp;&nbsp;a<br>&nbsp;&nbspb</font></body></html>");
    std::string pieces(PageStart());
    for (const ChatEntry& e : entries)
        pieces += EntryHtml(e);
    EXPECT_EQ(pieces + std::string(PageEnd()), BuildPage(entries));
}

TEST(TranscriptPage, FormatTextLineBreaksAndLinks) {
    struct Case {
        std::string text;
        std::string html;
    } cases[] = {
        {"a\r\nb", "&nbsp;&nbsp;a<br>&nbsp;&nbspb"},
        {"a\nb\rc", "&nbsp;&nbsp;a\nb\rc"},
        {"", "&nbsp;&nbsp;"},
        {"   ", "&nbsp;&nbsp;   "},
        {"see http://x/y now",
         "&nbsp;&nbsp;see <a href=http://x/y target=_blank>http://x/y</a> now"},
        {"end http://x/y", "&nbsp;&nbsp;end <a href=http://x/y target=_blank>http://x/y</a>"},
        {"http://x\r\nu v", "&nbsp;&nbsp;<a href=http://x<br>&nbsp;&nbspu "
                            "target=_blank>http://x<br>&nbsp;&nbspu</a> v"},
        {"http://x\r\nu",
         "&nbsp;&nbsp;<a href=http://x target=_blank>http://x</a><br>&nbsp;&nbspu"},
        {"HTTP://x https://x", "&nbsp;&nbsp;HTTP://x https://x"},
        {"http://a b http://a",
         "&nbsp;&nbsp;<a href=http://a target=_blank>http://a</a> b <a href=http://a "
         "target=_blank>http://a</a>"},
        {"http://a b http://c",
         "&nbsp;&nbsp;<a href=http://a target=_blank>http://a</a> b http://c"},
        {"http://a http://ab",
         "&nbsp;&nbsp;<a href=http://a target=_blank>http://a</a> <a href=http://a "
         "target=_blank>http://a</a>b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(c.text), c.html) << c.text;
}

TEST(TranscriptPage, MarkupFromThePartnerIsShownAsText) {
    EXPECT_EQ(FormatText("<script>alert('x')</script> & \"q\""),
              "&nbsp;&nbsp;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
    // An address cannot break out of its attribute, neither with a quote nor with white space
    // other than the blank that ends it.
    EXPECT_EQ(FormatText("http://x\"onclick=\"y"),
              "&nbsp;&nbsp;<a href=http://x&quot;onclick=&quot;y "
              "target=_blank>http://x&quot;onclick=&quot;y</a>");
    EXPECT_EQ(FormatText("http://x\tonclick=y"),
              "&nbsp;&nbsp;<a href=http://x%09onclick=y target=_blank>http://x\tonclick=y</a>");
    EXPECT_EQ(FormatText("http://x\nonfocus=y"),
              "&nbsp;&nbsp;<a href=http://x%0Aonfocus=y target=_blank>http://x\nonfocus=y</a>");
    ChatEntry evil{"<b>", "00:00:00", "Blue", "hi"};
    EXPECT_EQ(EntryHtml(evil), "<p><font size=2 color=Blue>&lt;b&gt;&nbsp00:00:00</font><p><font "
                               "size=3>&nbsp;&nbsp;hi</font>");
}

TEST(TranscriptPage, SearchesWholeGbkCharacters) {
    // 0xB0 0x68 is one character whose second byte is 'h': "ttp://" after it is no address.
    std::string text = "\xB0\x68ttp://x";
    EXPECT_EQ(FormatText(text), "&nbsp;&nbsp;" + text);
    std::string chinese = Gbk("看http://例子 好");
    EXPECT_EQ(FormatText(chinese), "&nbsp;&nbsp;" + Gbk("看") + "<a href=http://" + Gbk("例子") +
                                       " target=_blank>http://" + Gbk("例子") + "</a> " +
                                       Gbk("好"));
}

} // namespace
