#include "CChatDialog.h"

#include "AppIcon.h"
#include "BuildConfig.h"
#include "CHtmlCtrl.h"
#include "ChatDialogTemplate.h"
#include "ChatEngine.h"
#include "ChatHost.h"
#include "Codec.h"
#include "Console.h"
#include "DialogBuilder.h"
#include "EngineEventMessage.h"
#include "InputBox.h"
#include "SafeText.h"
#include "SaveFile.h"
#include "SoundService.h"
#include "Strings.h"
#include "Transcript.h"
#include "TranscriptPage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include <cstring>

namespace vessaro {
namespace {

constexpr int kInputMaxBytes = 255;
constexpr int kFocusDelayMs = 50;
// ClientSendFile takes the whole file in memory; pictures are far smaller than this.
constexpr qint64 kPictureMaxBytes = 16 * 1024 * 1024;

constexpr const char* kOpeningPrompt = "请选择‘接受’开始对话，拒绝对话请按“挂断”";
constexpr const char* kTalkStartedNotice = "连接已建立，可以开始对话！";
constexpr const char* kTalkEndedNotice =
    "对话已结束！点击关闭按钮退出。\r\n注意：关闭窗口后，对话内容将会自动删除！！！";
constexpr const char* kServerLostNotice = "服务器连接中断，对话结束。";

std::string ToGbk(const QString& text) {
    return EncodeGbk(text.toStdString()).value_or(std::string());
}

bool IsEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

CChatDialog::CChatDialog(ChatHost* host) : CChatDialog(host, ChatEngine::Process()) {}

CChatDialog::CChatDialog(ChatHost* host, ChatEngine& engine, QString webSiteUrl)
    : QDialog(nullptr), host_(host), engine_(engine),
      webSiteUrl_(webSiteUrl.isEmpty() ? QStringLiteral(VESSARO_WEB_URL) : std::move(webSiteUrl)),
      windowIcon(res::AppIcon()) {}

CChatDialog::~CChatDialog() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void CChatDialog::Open() {
    // The dialog's font first: the menu bar takes its height from it.
    res::BuildDialog(res::ChatDialogTemplate(), this);
    res::BuildMenu(res::ChatMenuTemplate(), this);
    acceptButton_ = res::ControlAs<QPushButton>(this, res::IDC_CHAT_ACCEPT);
    hangUpButton_ = res::ControlAs<QPushButton>(this, res::IDC_CHAT_HANGUP);
    sendButton_ = res::ControlAs<QPushButton>(this, res::IDC_CHAT_SEND);
    inputBox_ =
        new InputBox(res::ControlAs<QPlainTextEdit>(this, res::IDC_CHAT_INPUT), kInputMaxBytes);
    ConnectCommands();
    // Enter sends wherever the focus is among this window's controls, so the keys are looked at
    // before the focused control (a button would take Enter as a click) sees them.
    qApp->installEventFilter(this);
    OnInitDialog();
    show();
}

void CChatDialog::ConnectCommands() {
    connect(acceptButton_, &QPushButton::clicked, this, &CChatDialog::OnAccept);
    connect(hangUpButton_, &QPushButton::clicked, this, &CChatDialog::OnHangUp);
    connect(sendButton_, &QPushButton::clicked, this, &CChatDialog::OnOK);
    connect(res::ControlAs<QPushButton>(this, res::IDC_CHAT_CLOSE), &QPushButton::clicked, this,
            &CChatDialog::OnClose);
    connect(res::ControlAs<QPushButton>(this, res::IDC_CHAT_VIEW_PROFILE), &QPushButton::clicked,
            this, &CChatDialog::OnViewProfile);
    connect(res::ControlAs<QPushButton>(this, res::IDC_CHAT_SEND_PICTURE), &QPushButton::clicked,
            this, &CChatDialog::OnSendPicture);
    const QString saveId = QString::number(res::ID_CHAT_SAVE);
    if (auto* save = findChild<QAction*>(saveId))
        connect(save, &QAction::triggered, this, &CChatDialog::SaveTranscript);
}

void CChatDialog::DoDataExchange(bool saveAndValidate) {
    if (saveAndValidate) {
        // The profile panes are labels that nobody can change: only the input box is read back.
        inputText = inputBox_->Text();
        return;
    }
    inputBox_->SetText(inputText);
    // Profile texts come with CR LF line breaks; a label breaks its lines at LF alone. Whatever
    // else a partner put into the text is shown harmlessly.
    res::ControlAs<QLabel>(this, res::IDC_CHAT_PEER_PROFILE)->setText(SafeLines(peerProfileText));
    res::ControlAs<QLabel>(this, res::IDC_CHAT_MY_PROFILE)->setText(SafeLines(myProfileText));
}

void CChatDialog::OnInitDialog() {
    DoDataExchange(false);
    setWindowIcon(windowIcon);
    sendButton_->setEnabled(false);

    logoView = new CHtmlCtrl(this);
    logoView->CreateFromStatic(res::IDC_CHAT_LOGO, this);
    logoView->Navigate(webSiteUrl_ + QStringLiteral("/match/logo.html"));

    transcriptView = new CHtmlCtrl(this);
    transcriptView->CreateFromStatic(res::IDC_CHAT_TRANSCRIPT, this);
    transcriptView->Navigate(QStringLiteral("about:blank"));
    transcriptView->InitDocument();

    transcript = std::make_unique<Transcript>(ToGbk(myNickname), ToGbk(peerNickname));
    AddMessage(EncodeGbkOrEmpty(kOpeningPrompt), SPEAKER_SYSTEM);
    acceptButton_->setFocus(); // the input box takes over when the focus timer fires
}

std::string CChatDialog::BuildPage() const {
    return transcript ? vessaro::BuildPage(transcript->entries()) : vessaro::BuildPage({});
}

const std::vector<ChatEntry>& CChatDialog::Entries() const {
    static const std::vector<ChatEntry> none;
    return transcript ? transcript->entries() : none;
}

// The view shows exactly the page BuildPage gives; rather than loading the whole page again for
// every line, which costs more the longer the conversation runs, the new entry is appended to the
// live document. Saving builds the full page from the entries.
void CChatDialog::AddMessage(std::string gbkText, int kind) {
    const ChatEntry& entry = transcript->Add(std::move(gbkText), kind);
    if (transcript->entries().size() > 1 && transcriptView->canAppend())
        transcriptView->AppendHtml(EntryHtml(entry));
    else
        transcriptView->LoadHtml(BuildPage());
    StartFocusTimer();
}

void CChatDialog::StartFocusTimer() {
    // Restarting under the same role: a burst of lines moves the focus once, after the last.
    if (focusTimerId != 0)
        killTimer(focusTimerId);
    focusTimerId = startTimer(kFocusDelayMs);
}

void CChatDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() != focusTimerId) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(focusTimerId);
    focusTimerId = 0;
    inputBox_->edit()->setFocus();
}

void CChatDialog::OnAccept() {
    engine_.Accept();
}

void CChatDialog::OnHangUp() {
    if (accepted)
        engine_.HangUp();
    else
        engine_.Refuse();
}

void CChatDialog::accept() {
    OnOK();
}

void CChatDialog::reject() {}

void CChatDialog::OnOK() {
    if (!talking || closing_)
        return;
    DoDataExchange(true);
    if (inputText.isEmpty())
        return;

    const TalkText record = MakeTalkText(ToGbk(inputText), 0);
    sendButton_->setEnabled(false);
    const int result = engine_.SendText(record);
    sendButton_->setEnabled(true);
    if (result != 0) {
        ShowMessage(QStringLiteral("发送失败！"));
        return;
    }
    AddMessage(std::string(FieldText(record.text)), SPEAKER_ME);
    inputText.clear();
    DoDataExchange(false);
}

bool CChatDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    if (widget->window() != this || !IsEnterKey(key))
        return false;
    if (key->modifiers() & Qt::ControlModifier) {
        // Control+Enter breaks the line in the input box; elsewhere it does nothing at all, so it
        // can never press a focused button such as "挂断".
        if (widget == inputBox_->edit())
            inputBox_->InsertLineBreak();
        return true;
    }
    OnOK();
    return true;
}

bool CChatDialog::event(QEvent* event) {
    if (event->type() == EngineEventMessage::Type()) {
        const auto* message = static_cast<EngineEventMessage*>(event);
        OnMyMessage(message->code(), message->block());
        return true;
    }
    return QDialog::event(event);
}

void CChatDialog::OnMyMessage(int32_t code, const EventBlock& block) {
    ConsoleLine("CChatDialog::OnMyMessage, wParam = %d\n", code);
    if (closing_)
        return;
    switch (code) {
    case EVT_ACCEPTED:
        OnAccepted();
        break;
    case EVT_TALK_STARTED:
        OnTalkStarted();
        break;
    case EVT_TALK_TEXT:
        OnTalkText(block);
        break;
    case EVT_SERVER_LOST: // the end itself follows as EVT_TALK_ENDED
        AddMessage(EncodeGbkOrEmpty(kServerLostNotice), SPEAKER_SYSTEM);
        break;
    case EVT_TALK_ENDED:
        OnTalkEnded();
        break;
    default: // EVT_TALK_DATA and anything unknown: nothing to show
        break;
    }
}

void CChatDialog::OnAccepted() {
    SoundService::Instance().Play(QStringLiteral("ringout.wav"), true);
    accepted = true;
    acceptButton_->setEnabled(false);
}

// The desktop takes back an attention request (QApplication::alert) by itself when the window is
// activated, so there is no highlighted caption to reset when the conversation starts or ends.
void CChatDialog::OnTalkStarted() {
    SoundService::Instance().Stop();
    SoundService::Instance().Play(QStringLiteral("chimes.wav"), false);
    talking = true;
    sendButton_->setEnabled(true);
    AddMessage(EncodeGbkOrEmpty(kTalkStartedNotice), SPEAKER_SYSTEM);
}

void CChatDialog::OnTalkText(const EventBlock& block) {
    SoundService::Instance().Play(QStringLiteral("ding.wav"), false);
    const TalkText received = ReadTalkTextBlock(block);
    AddMessage(std::string(FieldText(received.text)), SPEAKER_PEER);
    if (!isActiveWindow())
        QApplication::alert(this);
}

void CChatDialog::OnTalkEnded() {
    SoundService::Instance().Stop();
    SoundService::Instance().Play(QStringLiteral("over.wav"), false);
    accepted = false;
    talking = false;
    sendButton_->setEnabled(false);
    acceptButton_->setEnabled(false);
    hangUpButton_->setEnabled(false);
    AddMessage(EncodeGbkOrEmpty(kTalkEndedNotice), SPEAKER_SYSTEM);
}

void CChatDialog::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

void CChatDialog::OnClose() {
    if (closing_)
        return;
    closing_ = true;
    SoundService::Instance().Stop();
    if (accepted)
        engine_.HangUp();
    else
        engine_.Refuse();
    DoDataExchange(true);
    hide();
    if (focusTimerId != 0) {
        killTimer(focusTimerId);
        focusTimerId = 0;
    }
    if (host_)
        host_->OnChatClosed();
    deleteLater();
}

void CChatDialog::OnViewProfile() {
    // The partner chose the ID: it goes into the address as one query value, so that it cannot
    // add parameters or change the page.
    const QByteArray id = QByteArray::fromStdString(ToGbk(peerCommunityId)).toPercentEncoding();
    QDesktopServices::openUrl(QUrl(webSiteUrl_ + QStringLiteral("/bbs/user_info.php?user_id=") +
                                   QString::fromLatin1(id)));
}

void CChatDialog::OnSendPicture() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("打开"));
    if (path.isEmpty())
        return;
    QFile file(path);
    QByteArray data;
    bool readable = file.open(QIODevice::ReadOnly) && file.size() <= kPictureMaxBytes;
    if (readable) {
        data = file.readAll();
        readable = data.size() == file.size();
    }
    if (!readable) {
        ShowMessage(QStringLiteral("发送失败！"));
        return;
    }

    char name[256] = {};
    const std::string gbkName = ToGbk(QFileInfo(path).fileName());
    CopyToField(name, gbkName);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = engine_.SendFile(name, reinterpret_cast<const uint8_t*>(data.constData()),
                                        static_cast<uint32_t>(data.size()));
    QApplication::restoreOverrideCursor();
    if (result == 0)
        ShowMessage(QStringLiteral("发送完毕！"), QMessageBox::Information);
    else
        ShowMessage(QStringLiteral("发送失败！"));
}

void CChatDialog::SaveTranscript() {
    QFileDialog dialog(this, QStringLiteral("另存为"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("HTML Files (*.html)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("html"));
    dialog.selectFile(QStringLiteral("chat.html"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    const QString path = dialog.selectedFiles().constFirst();
    const std::string error =
        SaveFileAtomically(QFile::encodeName(path).toStdString(), BuildPage());
    if (!error.empty()) {
        ShowMessage(QStringLiteral("保存失败，对话内容没有保存！\n%1")
                        .arg(QString::fromLocal8Bit(error.c_str())));
    }
}

void CChatDialog::ShowMessage(const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, res::AppTitle(), text, QMessageBox::Ok, this);
    box.exec();
}

} // namespace vessaro
