#pragma once

#include "BuildConfig.h"
#include "CChatDialog.h"
#include "CConditionDialog.h"
#include "ChatHost.h"
#include "EngineEvents.h"
#include "ReconnectBackoff.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstdint>
#include <functional>

class QMenu;
class QTimer;

namespace vessaro {

class CHtmlCtrl;
class EngineEventMessage;
class MatchEngine;

// The application's main window. Half a second after it is first shown it starts the engine and
// connects, and connects again by itself whenever the session is lost; it shows the state of the
// session, runs the conditions dialog to start a match, cancels it, opens a chat window for each
// partner found, shows the web site's information page, keeps an icon in the notification area
// and leaves the server in an orderly way when closed.
//
// Every engine event is posted to this window (RouteEngineEvent, on the engine's thread); on the
// user interface thread it handles codes 1 to 8 itself and hands every other code to the open chat
// window, or drops it when none is open.
class CMatchDialog : public QDialog, public ChatHost {
    Q_OBJECT
public:
    // The server's host and port and the web site's address are the build's; tests point the
    // window elsewhere. engine: the process-wide engine when null.
    explicit CMatchDialog(QString serverHost = QStringLiteral(VESSARO_SERVER_HOST),
                          uint16_t serverPort = VESSARO_SERVER_PORT,
                          QString webUrl = QStringLiteral(VESSARO_WEB_URL),
                          MatchEngine* engine = nullptr);
    ~CMatchDialog() override;

    static constexpr int kStartupDelayMs = 500;
    // How long after the window shows the engine starts; tests that are not about the delay
    // shorten it.
    void setStartupDelay(int milliseconds) { startupDelayMs_ = milliseconds; }
    int startupDelay() const { return startupDelayMs_; }

    // After a lost session or a failed connect the window connects again by itself, after 1, 2,
    // 4 ... 30 s (ReconnectBackoff). Tests that are not about the delays divide them.
    void setReconnectTimeDivisor(int divisor) { reconnectTimeDivisor_ = divisor; }
    bool reconnecting() const;
    // The wait before the pending retry, as the user is told it (undivided).
    int64_t reconnectDelayMs() const { return reconnectDelayMs_; }

    // Uses another server and web address from now on (the settings dialog's choice).
    void SwitchServer(const QString& host, uint16_t port, const QString& webUrl);

    // The engine's event callback: posts the event to this window. Runs on any thread.
    int RouteEngineEvent(int32_t code, EventBlock block);

    // Stores the text as the info text and shows it in the info area.
    void SetInfoText(const QString& text);

    // ChatHost: the chat window has closed; back to idle, shown in the normal state.
    void OnChatClosed() override;

    // The tray icon was clicked: a left click brings the window back.
    void OnTrayNotify(QSystemTrayIcon::ActivationReason reason);

    // Shows the About dialog modally.
    void OnAbout();

    // Shows the settings dialog modally.
    void OnSettings();

    // The closing sequence: leave the server, then end (at once, or on EVT_DISCONNECTED).
    void OnClose();

    // Whether minimising can hide the window into the notification area; by default, whether the
    // desktop has one.
    void setTrayAvailability(std::function<bool()> available) {
        trayAvailable_ = std::move(available);
    }

    CConditionDialog& conditions() { return conditions_; }
    const QString& infoText() const { return infoText_; }
    const QString& infoPageAddress() const { return infoPageAddress_; }
    bool started() const { return started_; }
    bool chatOpen() const { return chatOpen_; }
    bool startupTimerArmed() const { return timerId_ != 0; }
    CChatDialog* chatWindow() const { return chat_; }
    CHtmlCtrl* htmlArea() const { return htmlArea_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    QMenu* trayMenu() const { return trayMenu_; }

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override;

private:
    void OnInitDialog();
    void CreateTrayIcon();
    void SetUpNotifications();
    void OnStart();
    void OnCancel();
    void StartEngine();
    void OnEngineEvent(const EngineEventMessage& message);
    void OnNotice(const EventBlock& block);
    void OnMatchingStopped();
    void OnSessionLost(const QString& cause);
    void ScheduleReconnect(const QString& cause);
    void Reconnect();
    void StopReconnecting();
    void OpenChatWindow(const EventBlock& block);
    void RemoveTrayIcon();
    void EndDialog();
    void SetStatus(const QString& status);
    void EnableButtons(bool start, bool cancel);
    void AddSettingsEntry(QMenu& menu);
    void SwitchWhenFree();
    // The accepted conditions are remembered for the next start; forgetting them restores the
    // designed defaults, in the file and in the dialog.
    void RememberConditions();
    void ForgetConditions();

    MatchEngine& engine_;
    QString serverHost_;
    uint16_t serverPort_;
    QString webUrl_;

    QString infoText_;
    QIcon icon_;
    CConditionDialog conditions_;
    QPointer<CChatDialog> chat_;
    bool chatOpen_ = false;
    bool switchPending_ = false; // a new server waits for the engine to be free of its session
    bool started_ = false;
    bool closing_ = false;     // the user has closed the window; never start again
    bool connected_ = false;   // the engine has a session: a match can be started
    bool callbackSet_ = false; // the engine holds a callback that points at this window
    CHtmlCtrl* htmlArea_ = nullptr;
    int timerId_ = 0;
    int startupDelayMs_ = kStartupDelayMs;
    QString infoPageAddress_;

    ReconnectBackoff backoff_;
    QTimer* reconnectTimer_ = nullptr;
    int reconnectTimeDivisor_ = 1;
    int64_t reconnectDelayMs_ = 0;

    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QPointer<QDialog> settingsDialog_;
    std::function<bool()> trayAvailable_;
};

} // namespace vessaro
