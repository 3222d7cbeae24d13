#pragma once

#include "ChatEngine.h"
#include "ChatHost.h"
#include "Codec.h"
#include "ModalDriver.h"
#include "SoundBackend.h"
#include "SoundService.h"
#include "WaitUntil.h"

#include <QFileInfo>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace vessaro::test {

// GBK of a UTF-8 literal, as entries and records hold text.
inline std::string Gbk(const char* utf8) {
    return EncodeGbkOrEmpty(utf8);
}

// Records the engine calls of the chat window. PostText hands out increasing ids (or 0 where
// scripted); the test delivers the outcome events itself.
class RecordingEngine : public ChatEngine {
public:
    std::vector<std::string> calls; // "accept", "refuse", "hangup", "send:TEXT", "file:NAME:SIZE"
    std::vector<int32_t> packTypes;
    std::deque<uint32_t> postResults; // ids for the next PostText calls; then 1, 2, 3, ...
    uint32_t lastId = 0;
    int fileResult = 0;
    std::vector<uint8_t> fileData;

    int Accept() override { return Record("accept"); }
    int Refuse() override { return Record("refuse"); }
    int HangUp() override { return Record("hangup"); }
    uint32_t PostText(const TalkText& text) override {
        calls.push_back("send:" + std::string(FieldText(text.text)));
        packTypes.push_back(text.packType);
        if (postResults.empty())
            return ++lastId;
        const uint32_t id = postResults.front();
        postResults.pop_front();
        lastId = std::max(lastId, id);
        return id;
    }
    int SendFile(const char* fileName, const uint8_t* data, uint32_t length) override {
        calls.push_back("file:" + std::string(fileName) + ":" + std::to_string(length));
        fileData.assign(data, data + length);
        return fileResult;
    }

private:
    int Record(const char* call) {
        calls.push_back(call);
        return -1; // the window must not depend on the answer
    }
};

class RecordingHost : public ChatHost {
public:
    int closed = 0;
    void OnChatClosed() override { ++closed; }
};

// Records what the sound service asks of the audio output: "play NAME loop|once", "stop", "beep".
class RecordingSoundBackend : public SoundBackend {
public:
    explicit RecordingSoundBackend(QStringList* log) : log_(log) {}
    bool Play(const QString& path, bool loop) override {
        log_->append(QStringLiteral("play %1 %2")
                         .arg(QFileInfo(path).fileName(),
                              loop ? QStringLiteral("loop") : QStringLiteral("once")));
        return true;
    }
    void Stop() override { log_->append(QStringLiteral("stop")); }
    void Beep() override { log_->append(QStringLiteral("beep")); }

private:
    QStringList* log_;
};

// The sound service plays into a recording for as long as this lives, from the shipped files.
class RecordedSounds {
public:
    RecordedSounds() {
        SoundService::Instance().SetSoundsFolder(QStringLiteral(VESSARO_SOUNDS_DIR));
        SoundService::Instance().SetBackend(std::make_unique<RecordingSoundBackend>(&log));
    }
    ~RecordedSounds() {
        SoundService::Instance().Stop();
        SoundService::Instance().SetBackend(nullptr);
    }
    QStringList log;
};

} // namespace vessaro::test

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.left(200).toStdString() << (bytes.size() > 200 ? "...\"" : "\"");
}
