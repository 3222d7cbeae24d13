#pragma once

#include "CChatDialog.h"
#include "ChatDialogTemplate.h"
#include "ChatEntry.h"
#include "ChatTestDoubles.h"
#include "DialogBuilder.h"
#include "EngineEventMessage.h"
#include "EngineEvents.h"
#include "SoundService.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

namespace vessaro::test {

// A chat window as the matching window opens it (ringing, members set), with the engine, the
// host and the audio output replaced by recording doubles. Nothing listens at the web site
// address, so the logo view shows its built-in page.
class ChatWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = new CChatDialog(&host, engine, QStringLiteral("http://127.0.0.1:9"));
        dialog->myNickname = QStringLiteral("小明");
        dialog->peerNickname = QStringLiteral("小红");
        dialog->peerCommunityId = QStringLiteral("10086");
        dialog->peerProfileText = QStringLiteral("昵称：小红\r\n性别：女");
        dialog->myProfileText = QStringLiteral("昵称：小明\r\n性别：男");
        SoundService::Instance().Play(QStringLiteral("ringin.wav"), true);
        dialog->Open();
        sounds.clear();
    }

    void TearDown() override {
        delete dialog.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Post(int32_t code, EventBlock block = {}) {
        QCoreApplication::postEvent(dialog, new EngineEventMessage(code, std::move(block)));
        QCoreApplication::sendPostedEvents(dialog, 0);
    }
    void StartTalking() {
        Post(EVT_ACCEPTED);
        Post(EVT_TALK_STARTED);
    }
    void EndTalking() { Post(EVT_TALK_ENDED); }

    QPushButton* Button(int id) const { return res::ControlAs<QPushButton>(dialog, id); }
    QPlainTextEdit* Input() const {
        return res::ControlAs<QPlainTextEdit>(dialog, res::IDC_CHAT_INPUT);
    }
    const std::vector<ChatEntry>& Entries() const { return dialog->Entries(); }
    const ChatEntry& LastEntry() const { return dialog->Entries().back(); }

    // The window is gone once its deferred deletion has run.
    bool DeletedAfterEvents() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return dialog.isNull();
    }

    RecordedSounds recorded;
    QStringList& sounds = recorded.log;
    RecordingEngine engine;
    RecordingHost host;
    QPointer<CChatDialog> dialog;
};

} // namespace vessaro::test
