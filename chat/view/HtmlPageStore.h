#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <map>

class QWebEngineProfile;

namespace vessaro {

// Pages held in memory and served to the HTML views through a URL scheme of our own, so that a
// page of any size replaces a document without the size limit of data: URLs. Each published page
// gets a new address, which keeps the browser from restoring the scroll position of the previous
// document. Lives on the user interface thread.
class HtmlPageStore : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char* kScheme = "vessaro-page";

    // Registers the scheme with the web engine; must run before the QApplication is created.
    static void RegisterScheme();

    // The one store, installed on profile (each profile once).
    static HtmlPageStore& Instance(QWebEngineProfile* profile);

    // Keeps the bytes under a new address and returns it; mimeType carries the charset.
    QUrl Publish(QByteArray bytes, QByteArray mimeType);
    void Withdraw(const QUrl& address);
    std::size_t pageCount() const { return pages_.size(); }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    explicit HtmlPageStore(QObject* parent);

    struct Page {
        QByteArray bytes;
        QByteArray mimeType;
    };
    std::map<QString, Page> pages_; // by path
    quint64 nextSerial_ = 1;
};

} // namespace vessaro
