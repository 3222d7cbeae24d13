#pragma once

#include "Messages.h"

#include <cstdint>

namespace vessaro {

// The engine calls the chat window makes, behind an interface so that tests can record them and
// script their results. The process-wide engine (the Client* functions) stands behind Process().
// Accept, Refuse, HangUp and SendFile return 0 when done, -1 when refused or failed.
class ChatEngine {
public:
    virtual ~ChatEngine() = default;

    virtual int Accept() = 0;
    virtual int Refuse() = 0;
    virtual int HangUp() = 0;
    // Hands a line to the engine without waiting: its id (> 0), whose outcome arrives later as
    // EVT_TEXT_CONFIRMED or EVT_TEXT_FAILED, or 0 when the engine refuses it at once.
    virtual uint32_t PostText(const TalkText& text) = 0;
    virtual int SendFile(const char* fileName, const uint8_t* data, uint32_t length) = 0;

    static ChatEngine& Process();
};

} // namespace vessaro
