#pragma once

#include <QUrl>
#include <QWebEnginePage>

#include <functional>

namespace vessaro {

// Opens an address outside the program (the user's browser).
using LinkOpener = std::function<void(const QUrl&)>;

// The opener every new LinkPage gets: QDesktopServices::openUrl unless replaced (tests watch it).
// Setting an empty opener restores the desktop's.
void SetDefaultLinkOpener(LinkOpener opener);
const LinkOpener& DefaultLinkOpener();

// Only web addresses leave the program: anything else a page links to (file:, javascript:, data:,
// our own in-memory scheme, ...) could read or run local things and is ignored.
bool IsExternalLink(const QUrl& url);

// A page that never follows a click itself: a clicked link, or one that asks for a new window
// (target=_blank, window.open), goes to the opener when it is a web address and is dropped
// otherwise, and the page stays on show.
class LinkPage : public QWebEnginePage {
    Q_OBJECT
public:
    LinkPage(QWebEngineProfile* profile, QObject* parent);

    void setOpener(LinkOpener opener) { opener_ = std::move(opener); }
    // Who is told of a clicked link in our own scheme (a command of the page's owner, such as
    // sending a line again); without one such links are ignored like any other.
    void setCommandHandler(LinkOpener handler) { commandHandler_ = std::move(handler); }

    // Hands the address to the opener when it is a web address; true when it did.
    bool OpenExternally(const QUrl& url) const;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    LinkOpener opener_;
    LinkOpener commandHandler_;
};

} // namespace vessaro
