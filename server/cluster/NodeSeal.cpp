#include "NodeSeal.h"

#include "PrivateFile.h"
#include "SipHash.h"

namespace vessaro::cluster {
namespace {

constexpr uint8_t kVersion = 1;

void PutBig(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

uint64_t GetBig(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | in[i];
    return value;
}

} // namespace

NodeSeal::NodeSeal(std::span<const uint8_t> secret) {
    // Two fixed keys spread a secret of any length over the 128-bit key of the tag.
    key_[0] = SipHash24({0x7665737361726f31, 0x636c757374657231}, secret);
    key_[1] = SipHash24({0x7665737361726f32, 0x636c757374657232}, secret);
}

uint64_t NodeSeal::Tag(std::span<const uint8_t> data) const {
    return SipHash24(key_, data);
}

std::vector<uint8_t> NodeSeal::Seal(const FrameHeader& h, std::span<const uint8_t> body) const {
    std::vector<uint8_t> frame;
    frame.reserve(kHeaderSize + body.size() + kTagSize);
    frame.push_back(kVersion);
    frame.push_back(uint8_t(h.kind));
    PutBig(frame, h.sender, 2);
    PutBig(frame, h.destination, 2);
    PutBig(frame, h.epoch, 8);
    PutBig(frame, h.sequence, 8);
    frame.insert(frame.end(), body.begin(), body.end());
    PutBig(frame, Tag(frame), 8);
    return frame;
}

std::optional<OpenedFrame> NodeSeal::Open(std::span<const uint8_t> frame) const {
    if (frame.size() < kHeaderSize + kTagSize || frame.size() > kHeaderSize + kMaxBody + kTagSize)
        return std::nullopt;
    const std::size_t signedSize = frame.size() - kTagSize;
    // Compared whole, so that the time taken says nothing about how much of a guess was right.
    if ((Tag(frame.first(signedSize)) ^ GetBig(frame.data() + signedSize, 8)) != 0)
        return std::nullopt;
    const uint8_t* p = frame.data();
    if (p[0] != kVersion || p[1] < uint8_t(FrameKind::Advert) ||
        p[1] > uint8_t(FrameKind::Liveness))
        return std::nullopt;
    OpenedFrame opened;
    opened.header.kind = FrameKind(p[1]);
    opened.header.sender = uint16_t(GetBig(p + 2, 2));
    opened.header.destination = uint16_t(GetBig(p + 4, 2));
    opened.header.epoch = GetBig(p + 6, 8);
    opened.header.sequence = GetBig(p + 14, 8);
    opened.body.assign(p + kHeaderSize, p + signedSize);
    return opened;
}

std::optional<std::vector<uint8_t>> ReadClusterSecret(const std::string& path, std::string& error) {
    constexpr std::size_t kMaxSecretFile = 1 << 16;
    std::optional<std::string> text =
        ReadPrivateFile(path, "cluster secret file", kMaxSecretFile, error);
    if (!text)
        return std::nullopt;
    std::vector<uint8_t> secret(text->begin(), text->end());
    if (!secret.empty() && secret.back() == '\n')
        secret.pop_back();
    if (!secret.empty() && secret.back() == '\r')
        secret.pop_back();
    if (secret.size() < NodeSeal::kMinSecret) {
        error = "the cluster secret in " + path + " is shorter than " +
                std::to_string(NodeSeal::kMinSecret) + " bytes";
        return std::nullopt;
    }
    return secret;
}

} // namespace vessaro::cluster
