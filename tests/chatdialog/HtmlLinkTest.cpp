#include "CHtmlCtrl.h"

#include "Codec.h"
#include "LinkPage.h"
#include "WaitUntil.h"

#include <QSignalSpy>
#include <QWebEngineScript>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vessaro {
namespace {

constexpr int kWaitMs = 30000;

// A page whose links the test clicks from a script, as a user's click on them would go.
std::string LinkPageHtml() {
    return "<html><body>"
           "<a id=web href=\"http://example.org/a?x=1\">web</a>"
           "<a id=webblank href=\"https://example.org/b\" target=_blank>blank</a>"
           "<a id=file href=\"file:///etc/passwd\">file</a>"
           "<a id=fileblank href=\"file:///etc/passwd\" target=_blank>file</a>"
           "<a id=js href=\"javascript:void(document.title='ran')\">js</a>"
           "<a id=data href=\"data:text/html,<b>x</b>\">data</a>"
           "<a id=datablank href=\"data:text/html,<b>x</b>\" target=_blank>data</a>"
           "<a id=own href=\"vessaro-page:/1\">own</a>"
           "<a id=sentinel href=\"http://example.org/sentinel\">end</a>"
           "</body></html>";
}

class HtmlLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(400, 300);
        view.setLinkOpener([this](const QUrl& url) { opened.push_back(url.toString()); });
        view.show();
        QSignalSpy finished(&view, &QWebEngineView::loadFinished);
        view.LoadHtml(LinkPageHtml());
        ASSERT_TRUE(test::WaitUntil([&] { return finished.count() > 0; }, kWaitMs));
        shownUrl = view.url();
    }

    void Click(const QString& id) {
        view.page()->runJavaScript(QStringLiteral("document.getElementById('%1').click();").arg(id),
                                   QWebEngineScript::ApplicationWorld);
    }

    // Clicks the link, then a web link after it, and waits for that one: whatever the first
    // click was going to do has happened by then.
    std::vector<QString> OpenedBy(const QString& id) {
        Click(id);
        Click(QStringLiteral("sentinel"));
        const QString sentinel = QStringLiteral("http://example.org/sentinel");
        test::WaitUntil([&] { return !opened.empty() && opened.back() == sentinel; }, kWaitMs);
        EXPECT_FALSE(opened.empty());
        if (!opened.empty() && opened.back() == sentinel)
            opened.pop_back();
        return opened;
    }

    CHtmlCtrl view;
    std::vector<QString> opened;
    QUrl shownUrl;
};

TEST_F(HtmlLinkTest, WebLinksOpenOutsideAndOtherSchemesAreIgnored) {
    const struct {
        const char* id;
        std::vector<QString> expected;
    } cases[] = {
        {"web", {QStringLiteral("http://example.org/a?x=1")}},
        {"webblank", {QStringLiteral("https://example.org/b")}},
        {"file", {}},
        {"fileblank", {}},
        {"js", {}},
        {"data", {}},
        {"datablank", {}},
        {"own", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        opened.clear();
        EXPECT_EQ(OpenedBy(QString::fromLatin1(c.id)), c.expected);
        EXPECT_EQ(view.url(), shownUrl) << "the view left its page";
    }
}

} // namespace
} // namespace vessaro
