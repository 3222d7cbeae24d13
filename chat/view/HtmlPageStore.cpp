#include "HtmlPageStore.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace vessaro {

void HtmlPageStore::RegisterScheme() {
    if (QWebEngineUrlScheme::schemeByName(kScheme).name() == kScheme)
        return;
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

HtmlPageStore::HtmlPageStore(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

HtmlPageStore& HtmlPageStore::Instance(QWebEngineProfile* profile) {
    // Owned by the application object, so it goes before the web engine does.
    static HtmlPageStore* store = new HtmlPageStore(QCoreApplication::instance());
    if (profile && !profile->urlSchemeHandler(kScheme))
        profile->installUrlSchemeHandler(kScheme, store);
    return *store;
}

QUrl HtmlPageStore::Publish(QByteArray bytes, QByteArray mimeType) {
    const QString path = QStringLiteral("/%1").arg(nextSerial_++);
    pages_[path] = Page{std::move(bytes), std::move(mimeType)};
    QUrl address;
    address.setScheme(kScheme);
    address.setPath(path);
    return address;
}

void HtmlPageStore::Withdraw(const QUrl& address) {
    pages_.erase(address.path());
}

void HtmlPageStore::requestStarted(QWebEngineUrlRequestJob* job) {
    const auto found = pages_.find(job->requestUrl().path());
    if (found == pages_.end()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The buffer shares the page's bytes (no copy) and lives as long as the request.
    auto* buffer = new QBuffer(job);
    buffer->setData(found->second.bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(found->second.mimeType, buffer);
}

} // namespace vessaro
