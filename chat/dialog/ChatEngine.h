#pragma once

#include "Messages.h"

#include <cstdint>

namespace vessaro {

// The engine calls the chat window makes, behind an interface so that tests can record them and
// script their results. The process-wide engine (the Client* functions) stands behind Process().
// Every call returns 0 when done, -1 when refused or failed.
class ChatEngine {
public:
    virtual ~ChatEngine() = default;

    virtual int Accept() = 0;
    virtual int Refuse() = 0;
    virtual int HangUp() = 0;
    // Blocks until the partner has acknowledged the text, or for up to 1.5 s when it does not.
    virtual int SendText(const TalkText& text) = 0;
    virtual int SendFile(const char* fileName, const uint8_t* data, uint32_t length) = 0;

    static ChatEngine& Process();
};

} // namespace vessaro
