#include "CHtmlCtrl.h"

#include "Codec.h"
#include "DialogBuilder.h"
#include "HtmlPageStore.h"
#include "LiveDocumentScripts.h"
#include "TranscriptPage.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

constexpr int kPlaceholderId = 1041;
constexpr int kLoadWaitMs = 30000;

res::DialogTemplate HostTemplate() {
    return res::DialogTemplate{
        .id = 900,
        .caption = "host",
        .fontFace = "宋体",
        .pointSize = 9,
        .width = 300,
        .height = 200,
        .minimizeBox = false,
        .controls =
            {
                {10, res::ControlKind::Edit, "", {5, 5, 100, 12}},
                {kPlaceholderId, res::ControlKind::Placeholder, "", {5, 25, 290, 150}},
                {11, res::ControlKind::PushButton, "确定", {240, 180, 50, 14}},
            },
    };
}

class HtmlCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        res::BuildDialog(HostTemplate(), &dialog);
        placeholder = res::Control(&dialog, kPlaceholderId);
        placeholderRect = placeholder->geometry();
        view = new CHtmlCtrl(&dialog);
        ASSERT_TRUE(view->CreateFromStatic(kPlaceholderId, &dialog));
        dialog.show();
    }

    // Loads the page and waits until the view reports the load; true when it succeeded.
    bool LoadAndWait(const std::string& gbkPage) {
        QSignalSpy finished(view, &QWebEngineView::loadFinished);
        view->LoadHtml(gbkPage);
        if (!test::WaitUntil([&] { return finished.count() > 0; }, kLoadWaitMs))
            return false;
        return finished.last().first().toBool();
    }

    QVariant Js(const QString& script) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(test::WaitUntil([&] { return done; }, kLoadWaitMs)) << "no answer";
        return result;
    }

    int ParagraphCount() {
        return Js(QStringLiteral("document.getElementsByTagName('p').length")).toInt();
    }

    QDialog dialog;
    QPointer<QWidget> placeholder;
    QRect placeholderRect;
    CHtmlCtrl* view = nullptr;
};

TEST_F(HtmlCtrlTest, TakesThePlaceOfThePlaceholderWithItsIdAndRectangle) {
    EXPECT_TRUE(placeholder.isNull()) << "the placeholder is gone";
    EXPECT_EQ(res::Control(&dialog, kPlaceholderId), view);
    EXPECT_EQ(view->geometry(), placeholderRect);
    EXPECT_EQ(view->parentWidget(), &dialog);
    EXPECT_TRUE(view->isVisible());

    CHtmlCtrl orphan;
    EXPECT_FALSE(orphan.CreateFromStatic(4242, &dialog));
    EXPECT_EQ(orphan.parentWidget(), nullptr) << "nothing is created";
}

TEST_F(HtmlCtrlTest, InitDocumentPreparesOnce) {
    EXPECT_FALSE(view->documentPrepared());
    view->Navigate(QStringLiteral("about:blank"));
    view->InitDocument();
    EXPECT_TRUE(view->documentPrepared());
    view->InitDocument();
    EXPECT_TRUE(view->documentPrepared());
    EXPECT_NE(view->page()->profile()->urlSchemeHandler(HtmlPageStore::kScheme), nullptr);
    EXPECT_TRUE(view->page()->profile()->isOffTheRecord()) << "the program keeps no files";
}

TEST_F(HtmlCtrlTest, EachLoadReplacesTheWholeDocumentUnderANewAddress) {
    view->InitDocument();
    ASSERT_TRUE(LoadAndWait("<html><body><p id='first'>first page</p></body></html>"));
    const QUrl firstUrl = view->url();
    ASSERT_TRUE(LoadAndWait("<html><body><p id='second'>second page</p></body></html>"));
    EXPECT_NE(view->url(), firstUrl);
    EXPECT_EQ(view->url().scheme(), QString::fromLatin1(HtmlPageStore::kScheme));
    EXPECT_EQ(Js(QStringLiteral("document.body.innerText")).toString(),
              QStringLiteral("second page"));
    EXPECT_FALSE(Js(QStringLiteral("document.getElementById('first') !== null")).toBool());
    EXPECT_EQ(HtmlPageStore::Instance(nullptr).pageCount(), 1u) << "old pages are let go";
}

TEST_F(HtmlCtrlTest, AnEmptyTextLoadsAnEmptyDocument) {
    view->InitDocument();
    ASSERT_TRUE(LoadAndWait("<p>something</p>"));
    ASSERT_TRUE(LoadAndWait(""));
    EXPECT_EQ(Js(QStringLiteral("document.body ? document.body.innerText : ''")).toString(),
              QString());
    EXPECT_FALSE(view->showingFallback());
}

TEST_F(HtmlCtrlTest, AGbkPageAfterAHundredKilobytesOfAsciiDecodesRight) {
    view->InitDocument();
    std::string page = "<html><body><div>";
    while (page.size() < 100 * 1024)
        page += "plain ascii text to push the first non-ascii byte far down the page. ";
    page += "</div><p id='zh'>" + EncodeGbkOrEmpty("中文测试：你好，世界") + "</p></body></html>";
    ASSERT_TRUE(LoadAndWait(page));
    EXPECT_EQ(Js(QStringLiteral("document.getElementById('zh').textContent")).toString(),
              QStringLiteral("中文测试：你好，世界"));
    EXPECT_EQ(Js(QStringLiteral("document.characterSet")).toString().toUpper(),
              QStringLiteral("GBK"));
}

TEST_F(HtmlCtrlTest, LoadsAFiveMegabytePage) {
    view->InitDocument();
    std::string row = "<p>";
    for (int i = 0; i < 40; ++i)
        row += EncodeGbkOrEmpty("这是一行很长的聊天记录，用来把页面撑到五兆字节。");
    row += "</p>\n";
    std::string page = "<html><body>";
    int rows = 0;
    while (page.size() < 5 * 1024 * 1024) {
        page += row;
        ++rows;
    }
    page += "<p id='end'>" + EncodeGbkOrEmpty("完") + "</p></body></html>";
    ASSERT_GE(page.size(), 5u * 1024 * 1024);
    ASSERT_TRUE(LoadAndWait(page));
    EXPECT_EQ(Js(QStringLiteral("document.getElementById('end').textContent")).toString(),
              QStringLiteral("完"));
    EXPECT_EQ(Js(QStringLiteral("document.getElementsByTagName('p').length")).toInt(), rows + 1);
}

TEST_F(HtmlCtrlTest, APageThatCannotBeLoadedShowsOurOwnPage) {
    QSignalSpy fallback(view, &CHtmlCtrl::fallbackShown);
    const QString address = QStringLiteral("http://127.0.0.1:1/match/adv.html");
    view->Navigate(address);
    ASSERT_TRUE(test::WaitUntil([&] { return fallback.count() == 1; }, kLoadWaitMs));
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            return view->url().scheme() == QLatin1String(HtmlPageStore::kScheme) &&
                   !view->page()->isLoading();
        },
        kLoadWaitMs));
    EXPECT_TRUE(view->showingFallback());
    EXPECT_EQ(view->requestedUrl(), QUrl(address)) << "still the address that was asked for";
    EXPECT_EQ(Js(QStringLiteral("document.title")).toString(), QStringLiteral("页面无法打开"));
    EXPECT_TRUE(Js(QStringLiteral("document.body.innerText")).toString().contains(address));
    EXPECT_EQ(fallback.count(), 1) << "our own page is never replaced in turn";
}

TEST_F(HtmlCtrlTest, RightButtonAndContextMenuDoNothingAndClicksLeaveTheFocusAlone) {
    ASSERT_TRUE(LoadAndWait("<html><body style='height:100%'><script>"
                            "window.downs = [];"
                            "document.addEventListener('mousedown', e => downs.push(e.button));"
                            "</script><p>click me</p></body></html>"));
    EXPECT_EQ(view->contextMenuPolicy(), Qt::NoContextMenu);
    EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);

    auto* edit = res::ControlAs<QLineEdit>(&dialog, 10);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());

    QWidget* surface = view->focusProxy() ? view->focusProxy() : view;
    const QPoint inside(40, 20);
    QTest::mousePress(surface, Qt::RightButton, {}, inside);
    QTest::mouseRelease(surface, Qt::RightButton, {}, inside);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, inside, surface->mapToGlobal(inside));
    QCoreApplication::sendEvent(surface, &menuEvent);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no context menu";

    QTest::mouseClick(surface, Qt::LeftButton, {}, inside);
    // The left press reaches the page, and the right ones never did.
    ASSERT_TRUE(test::WaitUntil([&] { return Js(QStringLiteral("downs.length")).toInt() > 0; },
                                kLoadWaitMs));
    EXPECT_EQ(Js(QStringLiteral("downs.join(',')")).toString(), QStringLiteral("0"));
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), edit) << "the click leaves the focus in the edit";
}

} // namespace
} // namespace vessaro

namespace vessaro {
namespace {

std::vector<ChatEntry> SampleEntries(int count) {
    std::vector<ChatEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({EncodeGbkOrEmpty(i % 2 ? "小红" : "系统消息"),
                           "08:05:0" + std::to_string(i % 10), i % 2 ? "Blue" : "Teal",
                           EncodeGbkOrEmpty("第" + std::to_string(i) + "行 <b>x</b>\r\nhttp://a/" +
                                            std::to_string(i) + " 完")});
    for (int i = 0; i < count; ++i)
        entries[i].index = std::size_t(i);
    return entries;
}

// Appending entries to the live page gives the very document that loading BuildPage's whole page
// gives, also for appends made while the first page is still loading, and across the blocks the
// view files the body's nodes into.
// Delivery marks changed in place end the same way as the page built with the final marks.
TEST_F(HtmlCtrlTest, AppendedEntriesGiveTheDocumentOfTheWholePage) {
    const int count = kNodesPerBlock / 2 + 30; // each entry is two paragraphs
    std::vector<ChatEntry> entries = SampleEntries(count);
    for (std::size_t i : {1u, 7u, 9u})
        entries[i].delivery = Delivery::Pending;
    auto settle = [&](std::size_t i, Delivery delivery) {
        entries[i].delivery = delivery;
        view->ReplaceElementHtml(DeliveryMarkId(entries[i]), DeliveryMark(entries[i]));
    };
    view->InitDocument();
    view->LoadHtml(BuildPage({entries[0]}));
    ASSERT_TRUE(view->canAppend());
    view->AppendHtml(EntryHtml(entries[1])); // before the page has loaded
    settle(1, Delivery::Confirmed);
    ASSERT_TRUE(test::WaitUntil([&] { return ParagraphCount() == 4; }, kLoadWaitMs));
    for (std::size_t i = 2; i < entries.size(); ++i)
        view->AppendHtml(EntryHtml(entries[i]));
    settle(7, Delivery::Failed);
    settle(9, Delivery::Confirmed);
    const QString appended = Js(QStringLiteral("document.documentElement.outerHTML")).toString();
    EXPECT_EQ(ParagraphCount(), 2 * count);

    ASSERT_TRUE(LoadAndWait(BuildPage(entries)));
    const QString whole = Js(QStringLiteral("document.documentElement.outerHTML")).toString();
    EXPECT_EQ(appended, whole);
    EXPECT_TRUE(whole.contains(QStringLiteral("第5行 &lt;b&gt;x&lt;/b&gt;")));

    view->Navigate(QStringLiteral("about:blank"));
    EXPECT_FALSE(view->canAppend()) << "an address is not a page to append to";
}

// The blocks change neither the text nor the layout: the page in the view has the text and the
// height of the same page in a plain view, which files nothing.
TEST_F(HtmlCtrlTest, TheBlocksLookLikeThePlainPage) {
    const std::string page = BuildPage(SampleEntries(kNodesPerBlock));
    view->InitDocument();
    ASSERT_TRUE(LoadAndWait(page));
    ASSERT_TRUE(test::WaitUntil(
        [&] { return Js(QStringLiteral("document.body.childElementCount")).toInt() == 2; },
        kLoadWaitMs))
        << "the nodes are filed into two blocks";

    QWebEngineView plain;
    plain.resize(view->size());
    plain.show();
    QSignalSpy loaded(&plain, &QWebEngineView::loadFinished);
    plain.setContent(QByteArray::fromStdString(page), QStringLiteral("text/html;charset=gbk"));
    ASSERT_TRUE(test::WaitUntil([&] { return loaded.count() > 0; }, kLoadWaitMs));
    auto plainJs = [&](const QString& script) {
        QVariant result;
        bool done = false;
        plain.page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        EXPECT_TRUE(test::WaitUntil([&] { return done; }, kLoadWaitMs));
        return result;
    };
    ASSERT_EQ(plainJs(QStringLiteral("document.body.childElementCount")).toInt(),
              2 * kNodesPerBlock);
    const QString text = QStringLiteral("document.body.innerText");
    const QString height = QStringLiteral("document.documentElement.scrollHeight");
    EXPECT_EQ(Js(text).toString(), plainJs(text).toString());
    EXPECT_EQ(Js(height).toInt(), plainJs(height).toInt());
}

// However tall the page grows, the view shows its end after a load and after each line.
TEST_F(HtmlCtrlTest, ShowsTheEndOfATallPage) {
    const QString atEnd = QStringLiteral(
        "window.scrollY + window.innerHeight >= document.documentElement.scrollHeight - 1");
    const QString height = QStringLiteral("document.documentElement.scrollHeight");
    view->InitDocument();
    ASSERT_TRUE(LoadAndWait(BuildPage(SampleEntries(1500))));
    ASSERT_TRUE(test::WaitUntil([&] { return Js(atEnd).toBool(); }, kLoadWaitMs));
    EXPECT_GT(Js(height).toInt(), 65000) << "taller than the page's own scroll function reaches";

    const int before = Js(height).toInt();
    view->AppendHtml(EntryHtml(SampleEntries(1).front()));
    ASSERT_TRUE(test::WaitUntil([&] { return Js(height).toInt() > before; }, kLoadWaitMs));
    EXPECT_TRUE(Js(atEnd).toBool());
}

} // namespace
} // namespace vessaro
