#pragma once

#include <QDialog>
#include <QString>

namespace vessaro {

class ChatHost;

// The conversation window, one per partner offered. The matching window creates it on the heap,
// sets the members below, and calls Open(); from then on it forwards every engine event with a code
// above 8 to it (as an EngineEventMessage). The window deletes itself when it closes, after telling
// its host.
class CChatDialog : public QDialog {
    Q_OBJECT
public:
    explicit CChatDialog(ChatHost* host);
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

    // (The rest of the class is its implementation's.)
private:
    ChatHost* host_;
};

} // namespace vessaro
