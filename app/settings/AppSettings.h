#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <cstdint>
#include <memory>

namespace vessaro {

// The desktop client's remembered settings, in one INI file in the user's configuration folder
// (~/.config/vessaro/vessaro.conf, or vessaro-NAME.conf for the separate profile that
// `--profile NAME` selects). Every getter gives the built-in default until the user changes it.
// One object per process is the current one (Settings()); windows read it when they need a value.
class AppSettings {
public:
    // The file the settings of profile live in ("" is the default profile).
    static QString DefaultFilePath(const QString& profile);

    // Settings kept in filePath (tests pass a file in a temporary folder).
    explicit AppSettings(const QString& filePath);

    QString filePath() const;

    // The matching server: the built-in one until the user chooses another.
    QString serverHost() const;
    void setServerHost(const QString& host);
    uint16_t serverPort() const;
    void setServerPort(uint16_t port);
    // Where the web pages come from: empty means "follow the server" (its host, port 8080).
    QString webUrlSetting() const;
    void setWebUrlSetting(const QString& url);
    // The web address in use: the setting, or the one that follows the server.
    QString webUrl() const;

    // "" follows the system locale; otherwise "zh_CN" or "en".
    QString language() const;
    void setLanguage(const QString& language);

    // Desktop notifications and the tray's unread mark; on by default.
    bool notificationsEnabled() const;
    void setNotificationsEnabled(bool enabled);

    // "auto" follows the desktop palette; "light" or "dark" forces one.
    QString skin() const;
    void setSkin(const QString& skin);

    // The chat window's last geometry (QWidget::saveGeometry), empty at first.
    QByteArray chatGeometry() const;
    void setChatGeometry(const QByteArray& geometry);

    // The underlying store, for settings that live with the window that owns them.
    QSettings& store() { return *store_; }

    // Writes pending changes to the file.
    void sync() { store_->sync(); }

private:
    std::unique_ptr<QSettings> store_;
};

// The current settings of the process. Until UseSettingsFile is called, those of the default
// profile.
AppSettings& Settings();
// Makes the settings in filePath the current ones (at start-up, or in a test).
void UseSettingsFile(const QString& filePath);
// As UseSettingsFile, at start-up: a file that cannot be read as settings (a folder, no
// permission, a format error) is renamed to FILE.bad, where nothing overwrites it, and the program
// goes on with the built-in settings in a new FILE. Returns the path it was renamed to, or an
// empty string when the file was fine (or missing).
QString UseSettingsFileOrSetAside(const QString& filePath);

} // namespace vessaro
