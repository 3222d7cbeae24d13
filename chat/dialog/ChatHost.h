#pragma once

namespace vessaro {

// What the chat window needs of the window that opened it: to be told that the chat window has
// closed, so that it returns to its idle state (开始 enabled, 取消 disabled, status "空闲", events
// routed to it again, shown in its normal state).
class ChatHost {
public:
    virtual ~ChatHost() = default;
    virtual void OnChatClosed() = 0;
};

} // namespace vessaro
