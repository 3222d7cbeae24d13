#include "CHtmlCtrl.h"

#include "Codec.h"
#include "DialogBuilder.h"
#include "HtmlPageStore.h"
#include "LinkPage.h"
#include "LiveDocumentScripts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace vessaro {
namespace {

// Chromium reports a navigation that another one replaced as failed with this code.
constexpr int kAbortedError = -3;

QByteArray FallbackPage(const QUrl& failedUrl) {
    const QString address = failedUrl.toDisplayString().toHtmlEscaped();
    const auto text = [](const char* source) {
        return QCoreApplication::translate("vessaro::CHtmlCtrl", source).toHtmlEscaped();
    };
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
               "<style>body{font-family:sans-serif;background:#f3f6fa;color:#1f2d3d;margin:16px;}"
               "h1{font-size:15px;color:#25548a;}p{font-size:12px;}"
               ".address{color:#7a8796;word-break:break-all;}</style></head><body>"
               "<h1>%2</h1><p>%3</p>"
               "<p class=\"address\">%4</p></body></html>")
        //: English: Page not available
        .arg(text(QT_TRANSLATE_NOOP("vessaro::CHtmlCtrl", "页面无法打开")),
             //: English: The page cannot be opened right now
             text(QT_TRANSLATE_NOOP("vessaro::CHtmlCtrl", "页面暂时无法打开")),
             //: English: Please try again later. Chatting is not affected.
             text(QT_TRANSLATE_NOOP("vessaro::CHtmlCtrl", "请稍后再试。聊天功能不受影响。")),
             address)
        .toUtf8();
}

constexpr const char* kDarkColoursScript = "vessaro-dark-colours";

// Dark ground and light text, and the page's named colours made light enough to read on it.
constexpr const char* kDarkColoursSource = R"JS(
(function () {
  if (location.protocol !== 'vessaro-page:' || document.getElementById('vessaro-dark')) return;
  var style = document.createElement('style');
  style.id = 'vessaro-dark';
  style.textContent =
    'html, body { background: #1e2228 !important; color: #dfe5ec !important; }' +
    'font[color=Blue i] { color: #7fb0ff !important; }' +
    'font[color=Green i] { color: #7fd08a !important; }' +
    'font[color=Teal i] { color: #5fd0d0 !important; }' +
    'font[color=Gray i] { color: #9aa6b2 !important; }' +
    'font[color=Red i] { color: #ff7b7b !important; }' +
    'a { color: #8fb8e6 !important; }';
  (document.head || document.documentElement).appendChild(style);
})();
)JS";

bool IsRightButton(const QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
    default:
        return false;
    }
}

bool IsInside(const QWidget* widget, const QWidget* ancestor) {
    return widget && ancestor && (widget == ancestor || ancestor->isAncestorOf(widget));
}

} // namespace

void CHtmlCtrl::RegisterScheme() {
    HtmlPageStore::RegisterScheme();
}

CHtmlCtrl::CHtmlCtrl(QWidget* parent) : QWebEngineView(parent) {
    // Links leave through the user's browser; the view keeps its page.
    linkPage_ = new LinkPage(QWebEngineProfile::defaultProfile(), this);
    setPage(linkPage_);
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    // Our own page stands in for the engine's error page.
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    HtmlPageStore::Instance(page()->profile());
    connect(page(), &QWebEnginePage::loadingChanged, this, &CHtmlCtrl::OnLoadingChanged);
    connect(qApp, &QApplication::focusChanged, this, &CHtmlCtrl::OnFocusChanged);
}

CHtmlCtrl::~CHtmlCtrl() {
    if (!published_.isEmpty())
        HtmlPageStore::Instance(nullptr).Withdraw(published_);
}

bool CHtmlCtrl::CreateFromStatic(int placeholderId, QWidget* parent) {
    QWidget* placeholder = res::Control(parent, placeholderId);
    if (!placeholder)
        return false;
    QWidget* container = placeholder->parentWidget();
    const QRect rect = placeholder->geometry();
    QWidget* before = placeholder->previousInFocusChain();
    QWidget* after = placeholder->nextInFocusChain();

    setAccessibleName(placeholder->accessibleName()); // what the view shows, as the dialog named it
    // The placeholder goes first, so that the view is the only child with that ID.
    delete placeholder;
    setParent(container);
    setObjectName(QString::number(placeholderId));
    setGeometry(rect);
    if (before && before != this && IsInside(before, container))
        QWidget::setTabOrder(before, this);
    if (after && after != this && IsInside(after, container))
        QWidget::setTabOrder(this, after);
    show();
    return true;
}

void CHtmlCtrl::setLinkOpener(std::function<void(const QUrl&)> opener) {
    linkPage_->setOpener(std::move(opener));
}

void CHtmlCtrl::setCommandHandler(std::function<void(const QUrl&)> handler) {
    linkPage_->setCommandHandler(std::move(handler));
}

void CHtmlCtrl::Navigate(const QString& address) {
    showingMemoryPage_ = false;
    pageLoaded_ = false;
    pendingAppends_.clear();
    pendingReplacements_.clear();
    requested_ = QUrl(address);
    fallbackShown_ = false;
    load(requested_);
}

void CHtmlCtrl::SetDarkColours(bool dark) {
    if (dark == darkColours_)
        return;
    darkColours_ = dark;
    QWebEngineScriptCollection& scripts = page()->scripts();
    for (const QWebEngineScript& script : scripts.find(QString::fromLatin1(kDarkColoursScript)))
        scripts.remove(script);
    if (dark) {
        QWebEngineScript script;
        script.setName(QString::fromLatin1(kDarkColoursScript));
        script.setSourceCode(QString::fromLatin1(kDarkColoursSource));
        script.setInjectionPoint(QWebEngineScript::DocumentReady);
        script.setWorldId(QWebEngineScript::ApplicationWorld);
        script.setRunsOnSubFrames(false);
        scripts.insert(script);
    }
    // The page on show changes at once.
    if (showingMemoryPage_ && pageLoaded_)
        page()->runJavaScript(dark ? QString::fromLatin1(kDarkColoursSource)
                                   : QStringLiteral("var s = document.getElementById("
                                                    "'vessaro-dark'); if (s) s.remove();"),
                              QWebEngineScript::ApplicationWorld);
}

void CHtmlCtrl::InitDocument() {
    if (documentPrepared_)
        return;
    documentPrepared_ = true;
    // The in-memory pages come from our URL scheme, which the profile serves from now on.
    HtmlPageStore::Instance(page()->profile());
}

void CHtmlCtrl::LoadHtml(std::string gbkPage) {
    // No charset declaration in the page itself: the type says it, or a page that starts with
    // tens of KB of ASCII would be read as Latin-1.
    LoadPublished(QByteArray(gbkPage.data(), static_cast<qsizetype>(gbkPage.size())),
                  QByteArrayLiteral("text/html;charset=gbk"));
    showingMemoryPage_ = true;
}

void CHtmlCtrl::AppendHtml(const std::string& gbkFragment) {
    if (!showingMemoryPage_)
        return;
    // The page is GBK; the decoder that reads it is the one that reads the fragment here.
    pendingAppends_ += QString::fromUtf8(DecodeGbk(gbkFragment));
    if (pageLoaded_)
        FlushAppends();
}

void CHtmlCtrl::ReplaceElementHtml(const std::string& elementId, const std::string& gbkFragment) {
    if (!showingMemoryPage_)
        return;
    pendingReplacements_.append(ReplaceElementScript(QString::fromStdString(elementId),
                                                     QString::fromUtf8(DecodeGbk(gbkFragment))));
    if (pageLoaded_)
        FlushAppends();
}

// Appends first: a replacement only ever names an element of an entry appended before it.
void CHtmlCtrl::FlushAppends() {
    if (!pendingAppends_.isEmpty())
        page()->runJavaScript(AppendToBodyScript(pendingAppends_),
                              QWebEngineScript::ApplicationWorld);
    pendingAppends_.clear();
    for (const QString& script : std::as_const(pendingReplacements_))
        page()->runJavaScript(script, QWebEngineScript::ApplicationWorld);
    pendingReplacements_.clear();
}

void CHtmlCtrl::LoadPublished(QByteArray bytes, QByteArray mimeType) {
    HtmlPageStore& store = HtmlPageStore::Instance(page()->profile());
    const QUrl previous = published_;
    published_ = store.Publish(std::move(bytes), std::move(mimeType));
    if (!previous.isEmpty())
        store.Withdraw(previous);
    requested_ = published_;
    fallbackShown_ = false;
    showingMemoryPage_ = false;
    pageLoaded_ = false;
    pendingAppends_.clear(); // the new page holds all there is to show
    pendingReplacements_.clear();
    load(published_);
}

void CHtmlCtrl::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus && info.url() == published_) {
        pageLoaded_ = true;
        if (showingMemoryPage_) {
            page()->runJavaScript(GroupBodyScript(), QWebEngineScript::ApplicationWorld);
            FlushAppends();
        }
        return;
    }
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return;
    if (info.errorCode() == kAbortedError || info.url() != requested_ || fallbackShown_)
        return; // replaced by a newer load, or the built-in page itself
    ShowFallback(info.url());
}

void CHtmlCtrl::ShowFallback(const QUrl& failedUrl) {
    const QUrl wanted = requested_;
    LoadPublished(FallbackPage(failedUrl), QByteArrayLiteral("text/html;charset=utf-8"));
    // The owner's address stays the one asked for; the built-in page only stands in for it.
    requested_ = wanted;
    fallbackShown_ = true;
    emit fallbackShown(failedUrl);
}

// The engine creates its render widget as a child when a page first shows; every child gets the
// same treatment as the view: no focus, no right button, no context menu.
bool CHtmlCtrl::event(QEvent* event) {
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            Guard(child);
    }
    return QWebEngineView::event(event);
}

void CHtmlCtrl::Guard(QWidget* child) {
    child->removeEventFilter(this);
    child->installEventFilter(this);
    child->setFocusPolicy(Qt::NoFocus);
    child->setContextMenuPolicy(Qt::NoContextMenu);
}

bool CHtmlCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (IsRightButton(event) || event->type() == QEvent::ContextMenu)
        return true;
    if (event->type() == QEvent::Polish || event->type() == QEvent::Show ||
        event->type() == QEvent::MouseButtonPress) {
        if (auto* widget = qobject_cast<QWidget*>(watched))
            widget->setFocusPolicy(Qt::NoFocus);
    }
    return QWebEngineView::eventFilter(watched, event);
}

void CHtmlCtrl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

// A click on the page must leave the keyboard focus where it was (in the chat window: the input
// box). Should the engine take the focus anyway, it goes straight back.
void CHtmlCtrl::OnFocusChanged(QWidget* old, QWidget* now) {
    if (!IsInside(now, this) || IsInside(old, this))
        return;
    QPointer<QWidget> previous = old;
    QPointer<QWidget> taken = now;
    QTimer::singleShot(0, this, [previous, taken] {
        if (previous && previous->isVisible() && previous->isEnabled())
            previous->setFocus(Qt::OtherFocusReason);
        else if (taken)
            taken->clearFocus();
    });
}

} // namespace vessaro
