#include "AppSettings.h"

#include "BuildConfig.h"
#include "ServerAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace vessaro {
namespace {

constexpr auto kServerHost = "server/host";
constexpr auto kServerPort = "server/port";
constexpr auto kWebUrl = "server/webUrl";
constexpr auto kLanguage = "ui/language";
constexpr auto kNotifications = "ui/notifications";
constexpr auto kSkin = "ui/skin";
constexpr auto kChatGeometry = "chat/geometry";

std::unique_ptr<AppSettings>& Current() {
    static std::unique_ptr<AppSettings> current;
    return current;
}

} // namespace

QString AppSettings::DefaultFilePath(const QString& profile) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString name = profile.isEmpty() ? QStringLiteral("vessaro.conf")
                                           : QStringLiteral("vessaro-%1.conf").arg(profile);
    return QDir(folder).filePath(QStringLiteral("vessaro/") + name);
}

AppSettings::AppSettings(const QString& filePath)
    : store_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

QString AppSettings::filePath() const {
    return store_->fileName();
}

// A host that a hand-edited or damaged file holds is checked like one typed in the settings
// dialog; a bad one gives the built-in server.
QString AppSettings::serverHost() const {
    const QString host = store_->value(kServerHost).toString();
    return IsValidHost(host) ? host : QStringLiteral(VESSARO_SERVER_HOST);
}

void AppSettings::setServerHost(const QString& host) {
    store_->setValue(kServerHost, host);
}

uint16_t AppSettings::serverPort() const {
    bool ok = false;
    const uint port = store_->value(kServerPort, VESSARO_SERVER_PORT).toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : VESSARO_SERVER_PORT;
}

void AppSettings::setServerPort(uint16_t port) {
    store_->setValue(kServerPort, port);
}

QString AppSettings::webUrlSetting() const {
    const std::optional<QString> url = NormalizeWebUrl(store_->value(kWebUrl).toString());
    return url ? *url : QString();
}

void AppSettings::setWebUrlSetting(const QString& url) {
    store_->setValue(kWebUrl, url);
}

QString AppSettings::webUrl() const {
    const QString setting = webUrlSetting();
    if (!setting.isEmpty())
        return setting;
    if (serverHost() == QLatin1String(VESSARO_SERVER_HOST))
        return QStringLiteral(VESSARO_WEB_URL);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(serverHost()); // brackets an IPv6 literal
    url.setPort(8080);
    return url.toString();
}

QString AppSettings::language() const {
    const QString value = store_->value(kLanguage).toString();
    return value == QLatin1String("zh_CN") || value == QLatin1String("en") ? value : QString();
}

void AppSettings::setLanguage(const QString& language) {
    store_->setValue(kLanguage, language);
}

bool AppSettings::notificationsEnabled() const {
    return store_->value(kNotifications, true).toBool();
}

void AppSettings::setNotificationsEnabled(bool enabled) {
    store_->setValue(kNotifications, enabled);
}

QString AppSettings::skin() const {
    const QString value = store_->value(kSkin).toString();
    return value == QLatin1String("light") || value == QLatin1String("dark")
               ? value
               : QStringLiteral("auto");
}

void AppSettings::setSkin(const QString& skin) {
    store_->setValue(kSkin, skin);
}

QByteArray AppSettings::chatGeometry() const {
    return store_->value(kChatGeometry).toByteArray();
}

void AppSettings::setChatGeometry(const QByteArray& geometry) {
    store_->setValue(kChatGeometry, geometry);
}

AppSettings& Settings() {
    auto& current = Current();
    if (!current)
        current = std::make_unique<AppSettings>(AppSettings::DefaultFilePath(QString()));
    return *current;
}

void UseSettingsFile(const QString& filePath) {
    Current() = std::make_unique<AppSettings>(filePath);
}

QString UseSettingsFileOrSetAside(const QString& filePath) {
    const QFileInfo file(filePath);
    bool readable = !file.exists() || (file.isFile() && file.isReadable());
    if (readable) {
        UseSettingsFile(filePath);
        readable = Settings().store().status() == QSettings::NoError;
        if (readable)
            return QString();
    }
    // QSettings would write its next change over what it could not read.
    QString aside = filePath + QStringLiteral(".bad");
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = filePath + QStringLiteral(".bad%1").arg(n);
    if (!QFile::rename(filePath, aside))
        aside.clear();
    UseSettingsFile(filePath);
    return aside.isEmpty() ? filePath : aside;
}

} // namespace vessaro
