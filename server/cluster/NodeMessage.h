#pragma once

#include "ClusterPort.h"
#include "Datagram.h"
#include "Records.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vessaro::cluster {

// What one node tells another about a claim or a conversation between their users. Every message
// has the same 24-byte header (little-endian):
//   0  u8  version (kNodeMessageVersion)
//   1  u8  kind
//   2  u16 zero
//   4  i32 conversation id (0 for Claim and Refuse)
//   8  i32 the sender's user (a session the sending node holds)
//  12  i32 the receiver's user (a session the receiving node holds)
//  16  u64 the waiter's arrival stamp (Claim and Refuse only, 0 otherwise)
// followed by a body of fixed size for the kind: Claim the seeker's records (profile, then
// requirement, 596 bytes), Grant the waiter's profile (392 bytes), Text the client's whole
// MSG_TALK_TEXT datagram (560 bytes); the other kinds have none.
inline constexpr uint8_t kNodeMessageVersion = 1;
inline constexpr std::size_t kNodeHeaderSize = 24;
using TextDatagram = std::array<uint8_t, MessageSize(MSG_TALK_TEXT)>;

struct NodeMessage {
    enum class Kind : uint8_t {
        Claim = 1,    // seeker -> waiter's node: pair my seeker with your waiter
        Grant = 2,    // waiter's node -> seeker's: granted, the offer is under way
        Refuse = 3,   // waiter's node -> seeker's: that waiter no longer waits
        Accepted = 4, // my user accepted the offer of this conversation
        Text = 5,     // my user's text or text acknowledgement, for your user
        End = 6,      // this conversation has ended on my side
    };
    Kind kind = Kind::End;
    int32_t conversationId = 0;
    int32_t from = 0;
    int32_t to = 0;
    uint64_t arrival = 0;
    WaiterRecords records{}; // Claim
    UserProfile profile{};   // Grant
    TextDatagram text{};     // Text
};

// The message's bytes.
std::vector<uint8_t> EncodeNodeMessage(const NodeMessage& message);

// A message read from bytes, or why the bytes are not one (error is empty on success). Nothing
// outside the returned value is touched either way.
struct NodeMessageParse {
    NodeMessage message;
    std::string_view error;
    bool ok() const { return error.empty(); }
};
NodeMessageParse ParseNodeMessage(std::span<const uint8_t> bytes);

} // namespace vessaro::cluster
