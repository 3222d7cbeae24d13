// The client engine's receive dispatcher fed any bytes, in every state it can be in. The input
// picks a state to start from, then runs steps: a datagram (made safe as the processing thread
// makes every message, optionally carrying the engine's own session and conversation ids so that
// it passes the session filter), the passing of time (retries, time-outs), or one of the user's
// calls.
#include "Console.h"
#include "EngineHarness.h"
#include "FuzzInput.h"
#include "Messages.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace vessaro;

namespace {

constexpr std::size_t kBufferSize = 4096; // what the processing thread holds a message in

void Datagram(test::EngineHarness& h, fuzz::FuzzInput& in, bool ownIds) {
    std::size_t length = in.U16() % (kBufferSize + 1);
    auto bytes = in.Bytes(length);
    // Exactly the received bytes, on the heap, so that any read beyond them is caught.
    std::vector<uint8_t> message(bytes.begin(), bytes.end());
    if (ownIds && message.size() >= 16) {
        int32_t session = test::kSession, conversation = test::kConversation;
        std::memcpy(message.data() + 8, &session, 4);
        std::memcpy(message.data() + 12, &conversation, 4);
    }
    if (message.empty() || !SanitizeReceived(message.data(), message.size()))
        return;
    h.engine.Dispatch(message.data(), message.size());
}

void UserCall(test::EngineHarness& h, uint8_t which) {
    switch (which % 9) {
    case 0:
        h.engine.Connect();
        break;
    case 1:
        h.engine.Disconnect();
        break;
    case 2:
        h.engine.RequestMatch(test::SampleProfile("me"), test::SampleRequirement("t"));
        break;
    case 3:
        h.engine.CancelMatch();
        break;
    case 4:
        h.engine.Accept();
        break;
    case 5:
        h.engine.Refuse();
        break;
    case 6:
        h.engine.HangUp();
        break;
    case 7: {
        uint8_t data[3] = {1, 2, 3};
        h.engine.SendFile("f.bin", data, sizeof data);
        break;
    }
    default: // the blocking SendText waits for another thread: left to the unit tests
        h.engine.PostText(MakeTalkText("fuzz"));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static std::FILE* quiet = std::fopen("/dev/null", "w");
    SetConsoleStream(quiet);

    fuzz::FuzzInput in(data, size);
    test::EngineHarness h;
    h.DriveTo(in.Byte() % (CLIENT_STATE_DISCONNECT_SENT + 1));
    for (int steps = 0; !in.empty() && steps < 64; ++steps) {
        uint8_t op = in.Byte();
        switch (op % 4) {
        case 0:
            Datagram(h, in, false);
            break;
        case 1:
            Datagram(h, in, true);
            break;
        case 2:
            h.Advance(1000u * (1 + in.Byte() % 8));
            break;
        default:
            UserCall(h, in.Byte());
            break;
        }
        h.Forget();
    }
    return 0;
}
