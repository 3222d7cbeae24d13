#pragma once

#include <QStringList>
#include <QUrl>
#include <QWebEngineView>

#include <functional>
#include <string>

class QWebEngineLoadingInfo;

namespace vessaro {

class LinkPage;

// An HTML view used as a dialog child control: created in the place of a placeholder control,
// with its ID, position and size. It shows a web page by address, or HTML held in memory (GBK
// bytes, any size) which it serves through a URL scheme of our own. When a page cannot be loaded
// it shows a built-in page instead of an error. Right clicks do nothing; clicking it does not take
// the focus away from the dialog's controls.
//
// A click on a link never changes the page on show: web addresses (http, https) open in the user's
// browser, whether the link targets this view or a new window; every other address is ignored.
class CHtmlCtrl : public QWebEngineView {
    Q_OBJECT
public:
    explicit CHtmlCtrl(QWidget* parent = nullptr);
    ~CHtmlCtrl() override;

    // Registers the URL scheme that LoadHtml serves pages through. Every program (and test) that
    // creates a CHtmlCtrl calls it once, before its QApplication is created.
    static void RegisterScheme();

    // Replaces the child control with this ID on parent by this view (same ID, rectangle, place in
    // the tab order); false when there is no such control.
    bool CreateFromStatic(int placeholderId, QWidget* parent);

    void Navigate(const QString& address);

    // Who opens clicked web links; by default the desktop's browser (DefaultLinkOpener).
    void setLinkOpener(std::function<void(const QUrl&)> opener);
    // Who is told of clicked links in the view's own scheme (commands that a page of LoadHtml
    // offers); none by default.
    void setCommandHandler(std::function<void(const QUrl&)> handler);

    // Shows the pages of LoadHtml in dark colours (or back in their own): a style sheet the view
    // adds to each such page as it shows it; the page's bytes stay as they are.
    void SetDarkColours(bool dark);
    bool darkColours() const { return darkColours_; }

    // Prepares the view for LoadHtml; only the first call does anything.
    void InitDocument();

    // Replaces the whole document with the page (GBK bytes). Once loaded, the view shows the end of
    // the page.
    void LoadHtml(std::string gbkPage);

    // Adds HTML (GBK bytes) at the end of the body of the page that LoadHtml put up and shows the
    // end of the page, without loading the page anew: the cost of a line stays the same however
    // long the page grows (see LiveDocumentScripts.h for how). Appends made while that page is
    // still loading wait for it. Only valid while canAppend().
    void AppendHtml(const std::string& gbkFragment);
    // Replaces the element with the id in that page by HTML (GBK bytes; empty removes it), in
    // place, after every append made before it. Only valid while canAppend().
    void ReplaceElementHtml(const std::string& elementId, const std::string& gbkFragment);
    // True while the document on show is the last page LoadHtml gave (not an address, not the
    // built-in page that stands in for one that failed).
    bool canAppend() const { return showingMemoryPage_; }

    bool documentPrepared() const { return documentPrepared_; }

    // The address last asked for (by Navigate or LoadHtml), and whether the built-in page stands in
    // for it because it could not be loaded.
    QUrl requestedUrl() const { return requested_; }
    bool showingFallback() const { return fallbackShown_; }

signals:
    // The built-in page has replaced a page that could not be loaded.
    void fallbackShown(const QUrl& failedUrl);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void ShowFallback(const QUrl& failedUrl);
    void LoadPublished(QByteArray bytes, QByteArray mimeType);
    void FlushAppends();
    void Guard(QWidget* child);
    void OnFocusChanged(QWidget* old, QWidget* now);

    LinkPage* linkPage_ = nullptr;
    bool darkColours_ = false;
    bool documentPrepared_ = false;
    bool fallbackShown_ = false;
    QUrl requested_; // what the owner asked for last
    QUrl published_; // our in-memory page now on show, withdrawn when replaced
    bool showingMemoryPage_ = false;
    bool pageLoaded_ = false;         // the published page has finished loading
    QString pendingAppends_;          // HTML appended before it had
    QStringList pendingReplacements_; // scripts of replacements made before it had, in order
};

} // namespace vessaro
