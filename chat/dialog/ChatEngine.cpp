#include "ChatEngine.h"

#include "ClientInterface.h"

namespace vessaro {
namespace {

class ProcessChatEngine : public ChatEngine {
public:
    int Accept() override { return ClientAccept(); }
    int Refuse() override { return ClientRefuse(); }
    int HangUp() override { return ClientHangUp(); }
    uint32_t PostText(const TalkText& text) override { return ClientPostText(text); }
    int SendFile(const char* fileName, const uint8_t* data, uint32_t length) override {
        return ClientSendFile(fileName, data, length);
    }
};

} // namespace

ChatEngine& ChatEngine::Process() {
    static ProcessChatEngine engine;
    return engine;
}

} // namespace vessaro
