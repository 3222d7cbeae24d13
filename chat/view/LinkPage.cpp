#include "LinkPage.h"

#include "HtmlPageStore.h"

#include <QDesktopServices>
#include <QPointer>

namespace vessaro {
namespace {

LinkOpener& StoredOpener() {
    static LinkOpener opener;
    return opener;
}

// Stands in for the new window a page asks for: it takes the address of its first navigation,
// hands it on and goes away without ever loading anything.
class NewWindowCatcher : public QWebEnginePage {
public:
    NewWindowCatcher(QWebEngineProfile* profile, const LinkPage* owner)
        : QWebEnginePage(profile, nullptr), owner_(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame && !done_) {
            done_ = true;
            if (owner_)
                owner_->OpenExternally(url);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<const LinkPage> owner_;
    bool done_ = false;
};

} // namespace

void SetDefaultLinkOpener(LinkOpener opener) {
    StoredOpener() = std::move(opener);
}

const LinkOpener& DefaultLinkOpener() {
    static const LinkOpener desktop = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return StoredOpener() ? StoredOpener() : desktop;
}

bool IsExternalLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

LinkPage::LinkPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), opener_(DefaultLinkOpener()) {}

bool LinkPage::OpenExternally(const QUrl& url) const {
    if (!IsExternalLink(url) || !opener_)
        return false;
    opener_(url);
    return true;
}

bool LinkPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (type == NavigationTypeLinkClicked) {
        if (url.scheme() == QLatin1String(HtmlPageStore::kScheme)) {
            if (commandHandler_)
                commandHandler_(url);
        } else {
            OpenExternally(url);
        }
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* LinkPage::createWindow(WebWindowType) {
    auto* catcher = new NewWindowCatcher(profile(), this);
    // Should the page never navigate the window it asked for, the stand-in still goes.
    connect(this, &QObject::destroyed, catcher, &QObject::deleteLater);
    return catcher;
}

} // namespace vessaro
