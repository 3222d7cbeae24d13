#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vessaro::cluster {

// What a sealed frame carries.
enum class FrameKind : uint8_t {
    Advert = 1,      // a user waits on the sender (or is relaxed now)
    Withdraw = 2,    // the user no longer waits
    Leave = 3,       // the sender leaves the cluster
    NodeMessage = 4, // the core's message to one node
    WaiterEntry = 5, // a waiting user as stored for nodes that join later (no sequence)
    Liveness = 6,    // the sender's liveness record: its epoch and address
};

// A frame's header, authenticated with its body.
struct FrameHeader {
    FrameKind kind = FrameKind::Advert;
    uint16_t sender = 0;      // node number
    uint16_t destination = 0; // node number; 0 for every node
    uint64_t epoch = 0;       // the sender's epoch: new each time it joins, larger than the last
    uint64_t sequence = 0;    // the sender's count of frames in this epoch
};

struct OpenedFrame {
    FrameHeader header;
    std::vector<uint8_t> body;
};

// Seals what nodes exchange through Redis: a header (version, kind, sender, destination, epoch,
// sequence), the body, and a SipHash-2-4 tag over both, keyed from the cluster's shared secret.
// Whoever lacks the secret can neither forge nor alter a frame; replays are for the receiver to
// refuse (Membership checks epoch and sequence).
class NodeSeal {
public:
    // The shortest secret accepted, in bytes.
    static constexpr std::size_t kMinSecret = 16;
    static constexpr std::size_t kHeaderSize = 22;
    static constexpr std::size_t kTagSize = 8;
    static constexpr std::size_t kMaxBody = 1 << 20;

    // The secret must hold at least kMinSecret bytes (checked by the caller).
    explicit NodeSeal(std::span<const uint8_t> secret);

    std::vector<uint8_t> Seal(const FrameHeader& header, std::span<const uint8_t> body) const;
    // The frame, or nothing when it is short, too long, of an unknown version or kind, or its tag
    // does not match.
    std::optional<OpenedFrame> Open(std::span<const uint8_t> frame) const;

private:
    uint64_t Tag(std::span<const uint8_t> data) const;

    std::array<uint64_t, 2> key_{};
};

// The secret in a file: its bytes, less one trailing line feed (and carriage return). Nothing,
// with the reason in error, when it cannot be read, other users may read it (see ReadPrivateFile)
// or it is shorter than NodeSeal::kMinSecret.
std::optional<std::vector<uint8_t>> ReadClusterSecret(const std::string& path, std::string& error);

} // namespace vessaro::cluster
