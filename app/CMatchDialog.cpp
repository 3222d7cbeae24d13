#include "CMatchDialog.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "CAboutDialog.h"
#include "CChatDialog.h"
#include "CHtmlCtrl.h"
#include "ChatEngine.h"
#include "ClientInterface.h"
#include "Codec.h"
#include "ConditionValues.h"
#include "DesktopNotifier.h"
#include "DialogBuilder.h"
#include "EngineEventMessage.h"
#include "MatchDialogTemplate.h"
#include "MatchEngine.h"
#include "MessageBox.h"
#include "Notifications.h"
#include "ProfilePane.h"
#include "ProfileStore.h"
#include "RequirementSummary.h"
#include "SafeText.h"
#include "SettingsDialog.h"
#include "SoundService.h"
#include "Strings.h"
#include "TrayMark.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace vessaro {
namespace {

using namespace res::match_ids;

QString FromGbk(std::string_view gbk) {
    return QString::fromStdString(DecodeGbk(gbk));
}

QString FieldString(std::span<const char> field) {
    return FromGbk(FieldText(field));
}

// Only web pages may replace the information page; a notice cannot point the view at a local
// file or a script.
bool IsWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

CMatchDialog::CMatchDialog(QString serverHost, uint16_t serverPort, QString webUrl,
                           MatchEngine* engine)
    : QDialog(nullptr), engine_(engine ? *engine : MatchEngine::Process()),
      serverHost_(std::move(serverHost)), serverPort_(serverPort), webUrl_(webUrl),
      icon_(res::AppIcon()), infoPageAddress_(webUrl + QStringLiteral("/match/adv.html")),
      trayAvailable_(&QSystemTrayIcon::isSystemTrayAvailable) {
    res::BuildDialog(res::MatchDialogTemplate(), this);
    connect(res::ControlAs<QPushButton>(this, kStart), &QPushButton::clicked, this,
            &CMatchDialog::OnStart);
    connect(res::ControlAs<QPushButton>(this, kCancel), &QPushButton::clicked, this,
            &CMatchDialog::OnCancel);
    reconnectTimer_ = new QTimer(this);
    reconnectTimer_->setSingleShot(true);
    connect(reconnectTimer_, &QTimer::timeout, this, &CMatchDialog::Reconnect);
    OnInitDialog();
}

CMatchDialog::~CMatchDialog() {
    // No event may be posted to this window once it is gone.
    if (callbackSet_)
        engine_.SetEventCallback(nullptr);
    // A chat window still open ends with the program.
    delete chat_.data();
}

void CMatchDialog::OnInitDialog() {
    SetInfoText(infoText_);
    setWindowIcon(icon_);
    CreateTrayIcon();
    htmlArea_ = new CHtmlCtrl(this);
    htmlArea_->CreateFromStatic(kHtmlArea, this); // shows nothing until the engine starts
    EnableButtons(false, false);
}

// The desktop has no system menu that a program can extend: the About entry goes into the tray
// icon's menu and the window's context menu, where a user of this desktop looks for it.
void CMatchDialog::CreateTrayIcon() {
    trayMenu_ = new QMenu(this);
    //: English: Show main window
    trayMenu_->addAction(tr("显示主窗口"), this,
                         [this] { OnTrayNotify(QSystemTrayIcon::Trigger); });
    AddSettingsEntry(*trayMenu_);
    const QString about = res::LoadResString(res::kIdsAboutBox);
    if (!about.isEmpty()) {
        trayMenu_->addSeparator();
        trayMenu_->addAction(about, this, &CMatchDialog::OnAbout);
    }
    trayMenu_->addSeparator();
    //: English: Quit
    trayMenu_->addAction(tr("退出"), this, &CMatchDialog::OnClose);

    tray_ = new QSystemTrayIcon(icon_, this);
    tray_->setToolTip(res::AppTitle());
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, &CMatchDialog::OnTrayNotify);
    tray_->show();
    SetUpNotifications();
}

// News reach a user in another window as desktop notifications, or as the tray icon's balloon
// where the desktop has no notification service, and as the tray icon's unread mark.
void CMatchDialog::SetUpNotifications() {
    auto* mark = new TrayMark(tray_, icon_, this);
    Notifications::Instance().SetTrayMark(mark);
    QPointer<QSystemTrayIcon> tray = tray_;
    Notifications::Instance().SetNotifier(std::make_unique<DesktopNotifier>(
        DesktopNotifier::Over(QDBusConnection::sessionBus()),
        [tray](const QString& title, const QString& body) {
            if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages())
                tray->showMessage(title, body);
        }));
}

void CMatchDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    AddSettingsEntry(menu);
    const QString about = res::LoadResString(res::kIdsAboutBox);
    if (!about.isEmpty())
        menu.addAction(about, this, &CMatchDialog::OnAbout);
    menu.exec(event->globalPos());
}

void CMatchDialog::AddSettingsEntry(QMenu& menu) {
    //: English: Settings…
    menu.addAction(tr("设置…"), this, &CMatchDialog::OnSettings);
}

// One settings dialog at a time: asked again (from the tray) while it is open, it comes forward.
// A new server or web address is used at once (see SwitchServer).
void CMatchDialog::OnSettings() {
    if (settingsDialog_) {
        settingsDialog_->raise();
        settingsDialog_->activateWindow();
        return;
    }
    SettingsDialog dialog(
        Settings(), [this] { ForgetConditions(); }, this);
    settingsDialog_ = &dialog;
    if (dialog.exec() == QDialog::Accepted && dialog.serverChanged())
        SwitchServer(Settings().serverHost(), Settings().serverPort(), Settings().webUrl());
}

// Before the engine has started it simply starts there. Otherwise a session belongs to its
// server: the session is left first (a match being looked for is given up, as when the
// connection is lost), and the engine moves once it reports that it has no session. A
// conversation is never cut for it: the move waits until the chat window has closed.
void CMatchDialog::SwitchServer(const QString& host, uint16_t port, const QString& webUrl) {
    serverHost_ = host;
    serverPort_ = port;
    webUrl_ = webUrl;
    infoPageAddress_ = webUrl + QStringLiteral("/match/adv.html");
    if (!started_)
        return;
    switchPending_ = true;
    SwitchWhenFree();
}

void CMatchDialog::SwitchWhenFree() {
    if (!switchPending_ || chatOpen_ || closing_)
        return;
    const int changed = engine_.ChangeServer(serverHost_.toStdString(), serverPort_);
    if (changed == 0) {
        switchPending_ = false;
        StopReconnecting();
        backoff_.Reset();
        htmlArea_->Navigate(infoPageAddress_);
        Reconnect();
        return;
    }
    if (changed == kServerNotFound) {
        // Tried again with every reconnect, so a network that comes back is noticed.
        connected_ = false;
        EnableButtons(false, false);
        //: English: The server %1 was not found.
        ScheduleReconnect(tr("找不到服务器 %1。").arg(serverHost_));
        return;
    }
    // The engine holds a session, or is opening one: it is left, and EVT_DISCONNECTED brings the
    // window back here. A session being left already reports the same.
    connected_ = false;
    EnableButtons(false, false);
    //: English: Connecting to the server...
    SetInfoText(tr("正在连接服务器..."));
    engine_.Disconnect();
}

void CMatchDialog::RememberConditions() {
    StoreProfile(Settings().store(), conditions_.values);
}

void CMatchDialog::ForgetConditions() {
    ClearProfile(Settings().store());
    conditions_.values = ConditionValues{};
}

void CMatchDialog::OnAbout() {
    CAboutDialog about(this);
    about.exec();
}

void CMatchDialog::SetInfoText(const QString& text) {
    infoText_ = text;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    res::ControlAs<QLabel>(this, kInfo)->setText(shown);
}

void CMatchDialog::SetStatus(const QString& status) {
    res::ControlAs<QLabel>(this, kStatus)->setText(status);
}

void CMatchDialog::EnableButtons(bool start, bool cancel) {
    res::Control(this, kStart)->setEnabled(start);
    res::Control(this, kCancel)->setEnabled(cancel);
}

// Every show before the engine has started (re)arms the one start-up timer, so the engine starts
// once, half a second after the window last appeared. A window being closed never starts it.
void CMatchDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || closing_)
        return;
    if (timerId_ != 0)
        killTimer(timerId_);
    timerId_ = startTimer(startupDelayMs_);
    //: English: Connecting to the server...
    SetInfoText(tr("正在连接服务器..."));
}

void CMatchDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timerId_) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(timerId_);
    timerId_ = 0;
    if (!started_)
        StartEngine();
}

void CMatchDialog::StartEngine() {
    engine_.Start(serverHost_.toStdString(), serverPort_);
    engine_.SetEventCallback(
        [this](int32_t code, EventBlock block) { RouteEngineEvent(code, std::move(block)); });
    callbackSet_ = true;
    htmlArea_->Navigate(infoPageAddress_);
    engine_.Connect();
    started_ = true;
}

int CMatchDialog::RouteEngineEvent(int32_t code, EventBlock block) {
    // Only posts: the engine holds its lock here, and the chat window may be going away on the
    // user interface thread. The window hands events on to the chat window when it handles them.
    QCoreApplication::postEvent(this, new EngineEventMessage(code, std::move(block)));
    return 1;
}

void CMatchDialog::customEvent(QEvent* event) {
    if (event->type() != EngineEventMessage::Type()) {
        QDialog::customEvent(event);
        return;
    }
    const auto& message = static_cast<const EngineEventMessage&>(*event);
    if (message.code() >= EVT_CONNECTED && message.code() <= EVT_PARTNER_FOUND)
        OnEngineEvent(message);
    else if (chatOpen_ && chat_)
        QCoreApplication::sendEvent(chat_, event);
    // Otherwise nobody wants it; its block goes with the event.
}

void CMatchDialog::OnEngineEvent(const EngineEventMessage& message) {
    switch (message.code()) {
    case EVT_CONNECTED:
        connected_ = true;
        StopReconnecting();
        backoff_.Reset();
        // With a chat window still open 开始 waits for it to close.
        EnableButtons(!chatOpen_, res::Control(this, kCancel)->isEnabled());
        //: English: Connected to the server!
        SetInfoText(tr("连接服务器成功！"));
        break;
    case EVT_CONNECT_FAILED:
        if (started_)
            //: English: Could not connect to the server.
            OnSessionLost(tr("连接服务器失败。"));
        break;
    case EVT_DISCONNECTED:
        if (started_ && switchPending_) {
            connected_ = false;
            EnableButtons(false, false);
            if (!chatOpen_)
                //: English: Idle
                SetStatus(tr("空闲"));
            SwitchWhenFree();
        } else if (started_) {
            //: English: Disconnected from the server.
            OnSessionLost(tr("从服务器断开。"));
        } else {
            RemoveTrayIcon();
            EndDialog();
        }
        break;
    case EVT_NOTICE:
        OnNotice(message.block());
        break;
    case EVT_MATCH_FAILED:
        //: English: Request failed!
        ShowMessage(this, tr("请求失败！"));
        OnMatchingStopped();
        break;
    case EVT_MATCHING:
        //: English: Waiting
        SetStatus(tr("等待"));
        EnableButtons(false, true);
        SetInfoText(RequirementSummary(conditions_.values));
        break;
    case EVT_MATCH_CANCELLED:
        OnMatchingStopped();
        break;
    case EVT_PARTNER_FOUND:
        OpenChatWindow(message.block());
        break;
    default:
        break;
    }
}

void CMatchDialog::OnMatchingStopped() {
    //: English: Idle
    SetStatus(tr("空闲"));
    EnableButtons(true, false);
}

// The session is gone (or never came): whatever was under way has ended, and the window connects
// again by itself. It says so in the information area and the tray icon's tip rather than in a
// message box, which would need a click for every restart of the server and could pile up while
// the user is away. A match that was being requested is simply asked for again with 开始.
void CMatchDialog::OnSessionLost(const QString& cause) {
    connected_ = false;
    EnableButtons(false, false);
    if (!chatOpen_)
        //: English: Idle
        SetStatus(tr("空闲"));
    ScheduleReconnect(cause);
}

void CMatchDialog::ScheduleReconnect(const QString& cause) {
    reconnectDelayMs_ = backoff_.NextDelayMs();
    reconnectTimer_->start(
        static_cast<int>(reconnectDelayMs_ / std::max(reconnectTimeDivisor_, 1)));
    //: English: \r\nReconnecting in %1 s…
    SetInfoText(cause + tr("\r\n%1 秒后重新连接服务器…").arg(reconnectDelayMs_ / 1000));
    if (tray_)
        //: English: : reconnecting to the server…
        tray_->setToolTip(res::AppTitle() + tr("：正在重新连接服务器…"));
}

void CMatchDialog::Reconnect() {
    if (!started_ || closing_)
        return;
    if (switchPending_) {
        SwitchWhenFree();
        return;
    }
    //: English: Reconnecting to the server…
    SetInfoText(tr("正在重新连接服务器…"));
    // The engine takes a new connect only once it has let the old session go; if it has not yet,
    // try again later rather than wait for an event that will not come.
    if (engine_.Connect() != 0)
        //: English: Could not connect to the server.
        ScheduleReconnect(tr("连接服务器失败。"));
}

void CMatchDialog::StopReconnecting() {
    reconnectTimer_->stop();
    if (tray_)
        tray_->setToolTip(res::AppTitle());
}

bool CMatchDialog::reconnecting() const {
    return reconnectTimer_->isActive();
}

void CMatchDialog::OnNotice(const EventBlock& block) {
    if (block.empty())
        return;
    const QString address = FromGbk(ReadNoticeBlock(block).text);
    if (address == infoPageAddress_ || !IsWebAddress(address))
        return;
    infoPageAddress_ = address;
    htmlArea_->Navigate(address);
}

void CMatchDialog::OpenChatWindow(const EventBlock& block) {
    const auto [partner, own] = ReadPartnerBlock(block);
    chatOpen_ = true;
    auto* chat = new CChatDialog(this, ChatEngine::Process(), webUrl_);
    chat_ = chat;
    chat->inputText.clear();
    chat->peerCommunityId = FieldString(partner.communityId); // only ever sent escaped
    // The nicknames label the lines of the transcript and the profiles fill two panes: a line
    // break or a direction override in a field must neither add lines nor turn text around.
    chat->myNickname = SafeLine(FieldString(own.nickname));
    chat->peerNickname = SafeLine(FieldString(partner.nickname));
    chat->peerProfileText = ProfilePaneText(SafeProfile(partner));
    chat->myProfileText = ProfilePaneText(SafeProfile(own));
    SoundService::Instance().Play(QStringLiteral("ringin.wav"), true);
    chat->Open();
    if (!isActiveWindow()) {
        //: English: A partner was found
        Notifications::Instance().Announce(chat, tr("找到对话伙伴"),
                                           NotificationText(chat->peerNickname, 32));
    }
    EnableButtons(false, false);
    //: English: Chatting
    SetStatus(tr("对话"));
}

// Without a session 开始 waits for the reconnect.
void CMatchDialog::OnChatClosed() {
    EnableButtons(connected_, false);
    //: English: Idle
    SetStatus(tr("空闲"));
    chatOpen_ = false;
    showNormal();
    SwitchWhenFree();
}

void CMatchDialog::OnStart() {
    if (conditions_.DoModal() != QDialog::Accepted)
        return;
    RememberConditions();
    UserProfile profile = EmptyProfile();
    MatchRequirement requirement = EmptyRequirement();
    FillRecords(conditions_.values, profile, requirement);
    engine_.RequestMatch(profile, requirement);
}

void CMatchDialog::OnCancel() {
    engine_.CancelMatch();
}

void CMatchDialog::closeEvent(QCloseEvent* event) {
    event->ignore(); // the window ends by EndDialog, now or when the server has let it go
    OnClose();
}

void CMatchDialog::OnClose() {
    started_ = false;
    closing_ = true;
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    StopReconnecting();
    //: English: Quitting, please wait...
    SetInfoText(tr("正在退出，请稍候..."));
    if (engine_.Disconnect() == -1) {
        RemoveTrayIcon();
        EndDialog();
    }
}

// Esc does nothing: the main window ends only through its close box (or the tray menu), which
// leaves the server first.
void CMatchDialog::reject() {}

void CMatchDialog::EndDialog() {
    QDialog::done(QDialog::Rejected);
}

void CMatchDialog::RemoveTrayIcon() {
    if (tray_)
        tray_->hide();
}

// Minimised, the window lives in the notification area only, where a click brings it back. Where
// the desktop has no such area it stays an ordinary minimised window.
void CMatchDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !trayAvailable_())
        return;
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

void CMatchDialog::OnTrayNotify(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger)
        return;
    showNormal();
    raise();
    activateWindow();
}

} // namespace vessaro
