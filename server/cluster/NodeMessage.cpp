#include "NodeMessage.h"

#include "ByteOrder.h"
#include "Messages.h"

#include <cstring>

namespace vessaro::cluster {
namespace {

using Kind = NodeMessage::Kind;

std::size_t BodySize(Kind kind) {
    switch (kind) {
    case Kind::Claim:
        return std::tuple_size_v<WaiterRecords>;
    case Kind::Grant:
        return kUserProfileSize;
    case Kind::Text:
        return std::tuple_size_v<TextDatagram>;
    case Kind::Refuse:
    case Kind::Accepted:
    case Kind::End:
        return 0;
    }
    return 0;
}

bool KnownKind(uint8_t kind) {
    return kind >= uint8_t(Kind::Claim) && kind <= uint8_t(Kind::End);
}

bool AboutClaim(Kind kind) {
    return kind == Kind::Claim || kind == Kind::Refuse;
}

void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, uint32_t(v));
    StoreU32(p + 4, uint32_t(v >> 32));
}

uint64_t LoadU64(const uint8_t* p) {
    return uint64_t(LoadU32(p)) | uint64_t(LoadU32(p + 4)) << 32;
}

} // namespace

std::vector<uint8_t> EncodeNodeMessage(const NodeMessage& m) {
    std::vector<uint8_t> out(kNodeHeaderSize + BodySize(m.kind), 0);
    out[0] = kNodeMessageVersion;
    out[1] = uint8_t(m.kind);
    StoreI32(&out[4], m.conversationId);
    StoreI32(&out[8], m.from);
    StoreI32(&out[12], m.to);
    StoreU64(&out[16], m.arrival);
    uint8_t* body = out.data() + kNodeHeaderSize;
    switch (m.kind) {
    case Kind::Claim:
        std::memcpy(body, m.records.data(), m.records.size());
        break;
    case Kind::Grant:
        StoreProfile(body, m.profile);
        break;
    case Kind::Text:
        std::memcpy(body, m.text.data(), m.text.size());
        break;
    default:
        break;
    }
    return out;
}

NodeMessageParse ParseNodeMessage(std::span<const uint8_t> bytes) {
    NodeMessageParse result;
    if (bytes.size() < kNodeHeaderSize) {
        result.error = "shorter than a node message header";
        return result;
    }
    if (bytes[0] != kNodeMessageVersion) {
        result.error = "unknown node message version";
        return result;
    }
    if (!KnownKind(bytes[1])) {
        result.error = "unknown node message kind";
        return result;
    }
    NodeMessage& m = result.message;
    m.kind = Kind(bytes[1]);
    if (bytes.size() != kNodeHeaderSize + BodySize(m.kind)) {
        result.error = "wrong size for its kind";
        return result;
    }
    if (bytes[2] != 0 || bytes[3] != 0) {
        result.error = "reserved header bytes not zero";
        return result;
    }
    m.conversationId = LoadI32(&bytes[4]);
    m.from = LoadI32(&bytes[8]);
    m.to = LoadI32(&bytes[12]);
    m.arrival = LoadU64(&bytes[16]);
    if (m.from == 0 || m.to == 0) {
        result.error = "no session named";
        return result;
    }
    if (AboutClaim(m.kind) != (m.conversationId == 0) || AboutClaim(m.kind) != (m.arrival != 0)) {
        result.error = "conversation or arrival does not fit the kind";
        return result;
    }
    const uint8_t* body = bytes.data() + kNodeHeaderSize;
    switch (m.kind) {
    case Kind::Claim:
        std::memcpy(m.records.data(), body, m.records.size());
        break;
    case Kind::Grant:
        m.profile = LoadProfile(body);
        break;
    case Kind::Text: {
        const DatagramView text(body, m.text.size());
        if (!text.complete() || text.type() != MSG_TALK_TEXT ||
            (text.talkSubKind() != TALK_TEXT && text.talkSubKind() != TALK_ACK)) {
            result.error = "not a text or text acknowledgement";
            return result;
        }
        std::memcpy(m.text.data(), body, m.text.size());
        break;
    }
    default:
        break;
    }
    return result;
}

} // namespace vessaro::cluster
