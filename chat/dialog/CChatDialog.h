#pragma once

#include "ChatLayout.h"
#include "ConversationModel.h"
#include "EngineEvents.h"

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QUrl;

namespace vessaro {

class ChatEngine;
class ChatHost;
class CHtmlCtrl;
class InputBox;
struct ChatEntry;

// The conversation window, one per partner offered. The matching window creates it on the heap,
// sets the members below, and calls Open(); from then on it forwards every engine event with a code
// above 8 to it (as an EngineEventMessage). The window deletes itself when it closes, after telling
// its host.
class CChatDialog : public QDialog {
    Q_OBJECT
public:
    explicit CChatDialog(ChatHost* host);
    // As above, with the engine calls going to engine (which must outlive the window) and the web
    // site at webSiteUrl ("http://host:port") instead of the built-in one.
    CChatDialog(ChatHost* host, ChatEngine& engine, QString webSiteUrl = QString());
    ~CChatDialog() override;

    // Set by the matching window before Open().
    QString myNickname;
    QString peerNickname;
    QString inputText;
    QString peerProfileText;
    QString myProfileText;
    QString peerCommunityId;

    // Builds the window (template 129, menu 135), initialises it and shows it modeless, with no
    // parent window.
    void Open();

    // Reacts to one engine event; the block is only read. Events also arrive as posted or sent
    // EngineEventMessages.
    void OnMyMessage(int32_t code, const EventBlock& block);

    // The page SaveTranscript writes (GBK bytes): the lines that were said, without the live
    // view's delivery marks and without the user's lines that never reached the partner.
    std::string BuildPage() const;
    // Sends the user's failed line at index again (what a click on its mark in the view does).
    void Resend(std::size_t index);
    const std::vector<ChatEntry>& Entries() const;
    // The conversation this window shows; null before Open().
    const ConversationModel* Conversation() const { return conversation.get(); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    // The dialog's own OK and cancel: OK sends, cancel (Escape) does nothing, so that a stray key
    // never ends a conversation.
    void accept() override;
    void reject() override;

private:
    void DoDataExchange(bool saveAndValidate);
    void OnInitDialog();
    void ConnectCommands();
    void MakeResizable();
    void ShowProfile(int labelId, const QString& profileText);

    void OnAccept();
    void OnHangUp();
    void OnOK();
    void OnClose();
    void OnViewProfile();
    void OnSendPicture();
    void SaveTranscript();

    void OnAccepted();
    void OnTalkStarted();
    void OnTalkText();
    void OnTalkEnded();

    void OnTranscriptLink(const QUrl& url);
    void AnnounceNews(int32_t code, ConversationPhase before);
    void ShowLine(std::size_t index);
    void ShowDelivery(std::size_t index);
    void ShowSendFailed();
    void StartFocusTimer();
    void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

    ChatHost* host_;
    ChatEngine& engine_;
    QString webSiteUrl_;

    QIcon windowIcon;
    CHtmlCtrl* logoView = nullptr;
    CHtmlCtrl* transcriptView = nullptr;
    // The offer's rules and lines (the transcript among them): this window only shows them.
    std::unique_ptr<ConversationModel> conversation;
    int focusTimerId = 0;
    ChatLayout layout_;

    InputBox* inputBox_ = nullptr;
    QPushButton* acceptButton_ = nullptr;
    QPushButton* hangUpButton_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPointer<QMessageBox> sendFailedBox_; // one at a time, however many lines fail together
    bool closing_ = false;
};

} // namespace vessaro
