#include "CChatDialog.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "BuildConfig.h"
#include "CHtmlCtrl.h"
#include "ChatDialogTemplate.h"
#include "ChatEngine.h"
#include "ChatHost.h"
#include "Codec.h"
#include "Console.h"
#include "ConversationModel.h"
#include "DialogBuilder.h"
#include "EngineEventMessage.h"
#include "InputBox.h"
#include "LiveMarks.h"
#include "Notifications.h"
#include "SafeText.h"
#include "SaveFile.h"
#include "SkinTone.h"
#include "SoundService.h"
#include "StandardMessageBox.h"
#include "Strings.h"
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

std::string ToGbk(const QString& text) {
    return EncodeGbk(text.toStdString()).value_or(std::string());
}

// The conversation keeps its system lines as written (vessaro-cli shows them so); the window shows
// them, and saves them, in the user's language.
ChatEntry Shown(ChatEntry entry) {
    if (entry.colorName != "Teal") // the colour of the system's lines
        return entry;
    const auto translate = [](const char* context, const std::string& gbk) {
        const QString text = QCoreApplication::translate(context, DecodeGbk(gbk).c_str());
        return EncodeGbk(text.toStdString()).value_or(gbk);
    };
    //: English: System
    entry.speakerLabel =
        EncodeGbk(QCoreApplication::translate("vessaro::Transcript", "系统消息").toStdString())
            .value_or(entry.speakerLabel);
    entry.messageText = translate("vessaro::ConversationModel", entry.messageText);
    return entry;
}

// The entries in the interface's language, as they are shown and saved.
std::vector<ChatEntry> ShownEntries(const std::vector<ChatEntry>& entries) {
    std::vector<ChatEntry> shown;
    shown.reserve(entries.size());
    for (const ChatEntry& entry : entries)
        shown.push_back(Shown(entry));
    return shown;
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
    MakeResizable();
    show();
}

// The window is built at its designed size, which becomes its minimum; from there it can grow and
// be maximised, and it comes back at the size and place it last had.
void CChatDialog::MakeResizable() {
    layout_.Capture(this, transcriptView, inputBox_->edit());
    setMinimumSize(size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    const QByteArray geometry = Settings().chatGeometry();
    if (!geometry.isEmpty() && !restoreGeometry(geometry))
        resize(minimumSize()); // a damaged setting: the designed size
}

void CChatDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (layout_.captured())
        layout_.Apply(size());
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
    ShowProfile(res::IDC_CHAT_PEER_PROFILE, peerProfileText);
    ShowProfile(res::IDC_CHAT_MY_PROFILE, myProfileText);
}

// A long word (a 32-character nickname) wraps in the narrow pane instead of being cut off.
void CChatDialog::ShowProfile(int labelId, const QString& profileText) {
    res::ControlAs<QLabel>(this, labelId)->setText(Wrappable(SafeLines(profileText)));
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
    transcriptView->SetDarkColours(DarkSkinApplied());
    transcriptView->setCommandHandler([this](const QUrl& url) { OnTranscriptLink(url); });

    conversation = std::make_unique<ConversationModel>(ToGbk(myNickname), ToGbk(peerNickname));
    conversation->SetObserver({[this](std::size_t index) { ShowLine(index); },
                               [this](std::size_t index) { ShowDelivery(index); },
                               [this] { OnTalkEnded(); }});
    conversation->Open();
    acceptButton_->setFocus(); // the input box takes over when the focus timer fires
}

std::string CChatDialog::BuildPage() const {
    return SavedPage(ShownEntries(Entries()));
}

const std::vector<ChatEntry>& CChatDialog::Entries() const {
    static const std::vector<ChatEntry> none;
    return conversation ? conversation->lines() : none;
}

// The view shows exactly the page BuildPage gives; rather than loading the whole page again for
// every line, which costs more the longer the conversation runs, the new entry is appended to the
// live document. Saving builds the full page from the entries.
void CChatDialog::ShowLine(std::size_t index) {
    if (index > 0 && transcriptView->canAppend())
        transcriptView->AppendHtml(LiveEntryHtml(Shown(Entries()[index])));
    else
        transcriptView->LoadHtml(LivePage(ShownEntries(Entries())));
    StartFocusTimer();
}

// A line of the user's changed its mark: the mark is changed in place in the live document.
void CChatDialog::ShowDelivery(std::size_t index) {
    const ChatEntry& entry = Entries()[index];
    if (transcriptView->canAppend())
        transcriptView->ReplaceElementHtml(DeliveryMarkId(entry), LiveDeliveryMark(entry));
    else
        transcriptView->LoadHtml(LivePage(ShownEntries(Entries())));
    if (Entries()[index].delivery == Delivery::Failed) {
        // As when a send fails at once: the text comes back to the box for another try, unless
        // the user is already typing the next one.
        if (inputBox_->Text().isEmpty())
            inputBox_->SetText(QString::fromStdString(DecodeGbk(Entries()[index].messageText)));
        ShowSendFailed();
    }
}

// The window goes on while the box is up: lines keep arriving and the user keeps typing.
void CChatDialog::ShowSendFailed() {
    if (sendFailedBox_)
        return;
    //: English: Sending failed!
    sendFailedBox_ = new QMessageBox(QMessageBox::Warning, res::AppTitle(), tr("发送失败！"),
                                     QMessageBox::Ok, this);
    res::SetUpMessageBox(*sendFailedBox_);
    sendFailedBox_->setAttribute(Qt::WA_DeleteOnClose);
    sendFailedBox_->setModal(false);
    sendFailedBox_->show();
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
    conversation->AcceptRequested();
}

// Refuses an offer, hangs up a conversation, and does nothing while the engine still answers an
// accept, refusal or hang-up, or once the conversation is over.
void CChatDialog::OnHangUp() {
    switch (conversation->Leave()) {
    case LeaveAction::Refuse:
        engine_.Refuse();
        break;
    case LeaveAction::HangUp:
        engine_.HangUp();
        break;
    case LeaveAction::None:
        return;
    }
    conversation->LeaveRequested();
}

void CChatDialog::accept() {
    OnOK();
}

void CChatDialog::reject() {}

void CChatDialog::OnOK() {
    if (!conversation || !conversation->CanSend() || closing_)
        return;
    DoDataExchange(true);
    if (inputText.isEmpty())
        return;

    // The engine takes the line at once and reports its outcome later; the window never waits.
    const TalkText record = MakeTalkText(ToGbk(inputText), 0);
    const uint32_t textId = engine_.PostText(record);
    if (textId == 0 || !conversation->TextPosted(textId, std::string(FieldText(record.text)))) {
        ShowSendFailed(); // the text stays in the box for another try
        return;
    }
    inputText.clear();
    DoDataExchange(false);
}

void CChatDialog::OnTranscriptLink(const QUrl& url) {
    if (const std::optional<std::size_t> index = ResendIndex(url))
        Resend(*index);
}

// A failed line of the user's goes out again through the same path as a new one and keeps its
// place, pending once more. Nothing happens for any other line, or outside the conversation.
void CChatDialog::Resend(std::size_t index) {
    if (!conversation || !conversation->CanSend() || closing_ || index >= Entries().size() ||
        conversation->TextIdOf(index) == 0 || Entries()[index].delivery != Delivery::Failed)
        return;
    const std::string text = Entries()[index].messageText;
    const uint32_t textId = engine_.PostText(MakeTalkText(text, 0));
    if (textId == 0 || !conversation->TextReposted(index, textId)) {
        ShowSendFailed();
        return;
    }
    // The failure had put the text back into the box: it is on its way now, not to be sent twice.
    if (inputBox_->Text() == QString::fromStdString(DecodeGbk(text))) {
        inputText.clear();
        inputBox_->SetText(inputText);
    }
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
    if (closing_ || !conversation)
        return;
    const ConversationPhase before = conversation->phase();
    // The sounds and buttons of an event come first, then its line (the model tells ShowLine).
    if (before != ConversationPhase::Ended) {
        if (code == EVT_ACCEPTED)
            OnAccepted();
        else if (code == EVT_TALK_STARTED)
            OnTalkStarted();
        else if (code == EVT_TALK_TEXT)
            OnTalkText();
    }
    // The model keeps the lines, the delivery of the user's and the end (OnTalkEnded, once);
    // EVT_TALK_DATA and unknown codes change nothing.
    conversation->OnEvent(code, block);
    AnnounceNews(code, before);
}

// A user in another window learns that the partner wrote or left; the end of a conversation the
// user left is no news.
void CChatDialog::AnnounceNews(int32_t code, ConversationPhase before) {
    if (before == ConversationPhase::Ended || closing_)
        return;
    const QString partner = NotificationText(peerNickname, 32);
    if (code == EVT_TALK_TEXT && !Entries().empty()) {
        const std::string& text = Entries().back().messageText;
        Notifications::Instance().Announce(
            this, partner, NotificationText(QString::fromStdString(DecodeGbk(text))));
    } else if (code == EVT_TALK_ENDED && before != ConversationPhase::Leaving) {
        //: English: Your partner has left; the conversation is over.
        Notifications::Instance().Announce(this, partner, tr("对方已离开，对话结束。"));
    }
}

void CChatDialog::OnAccepted() {
    SoundService::Instance().Play(QStringLiteral("ringout.wav"), true);
    acceptButton_->setEnabled(false);
}

// The desktop takes back an attention request (QApplication::alert) by itself when the window is
// activated, so there is no highlighted caption to reset when the conversation starts or ends.
void CChatDialog::OnTalkStarted() {
    SoundService::Instance().Stop();
    SoundService::Instance().Play(QStringLiteral("chimes.wav"), false);
    sendButton_->setEnabled(true);
}

void CChatDialog::OnTalkText() {
    SoundService::Instance().Play(QStringLiteral("ding.wav"), false);
    if (!isActiveWindow())
        QApplication::alert(this);
}

void CChatDialog::OnTalkEnded() {
    SoundService::Instance().Stop();
    SoundService::Instance().Play(QStringLiteral("over.wav"), false);
    sendButton_->setEnabled(false);
    acceptButton_->setEnabled(false);
    hangUpButton_->setEnabled(false);
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
    OnHangUp();
    DoDataExchange(true);
    Settings().setChatGeometry(saveGeometry());
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
    //: English: Open
    const QString path = QFileDialog::getOpenFileName(this, tr("打开"));
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
        //: English: Sending failed!
        ShowMessage(tr("发送失败！"));
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
        //: English: Sent!
        ShowMessage(tr("发送完毕！"), QMessageBox::Information);
    else
        //: English: Sending failed!
        ShowMessage(tr("发送失败！"));
}

void CChatDialog::SaveTranscript() {
    //: English: Save As
    QFileDialog dialog(this, tr("另存为"));
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
        //: English: Saving failed; the conversation was not saved!\n%1
        ShowMessage(
            tr("保存失败，对话内容没有保存！\n%1").arg(QString::fromLocal8Bit(error.c_str())));
    }
}

void CChatDialog::ShowMessage(const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, res::AppTitle(), text, QMessageBox::Ok, this);
    res::SetUpMessageBox(box);
    box.exec();
}

} // namespace vessaro
