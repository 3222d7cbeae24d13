#include "PoolFrames.h"

#include <algorithm>

namespace vessaro::cluster {
namespace {

constexpr std::size_t kAdvertSize = 4 + 8 + 1 + std::tuple_size_v<WaiterRecords>;

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

uint64_t Get(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | in[i];
    return value;
}

} // namespace

std::vector<uint8_t> EncodeAdvert(const WaiterAd& ad) {
    std::vector<uint8_t> body;
    body.reserve(kAdvertSize);
    Put(body, uint32_t(ad.sessionId), 4);
    Put(body, ad.arrival, 8);
    body.push_back(ad.relaxed ? 1 : 0);
    body.insert(body.end(), ad.records.begin(), ad.records.end());
    return body;
}

std::optional<WaiterAd> DecodeAdvert(std::span<const uint8_t> body, uint16_t sender) {
    if (body.size() != kAdvertSize || body[12] > 1)
        return std::nullopt;
    WaiterAd ad;
    ad.sessionId = int32_t(uint32_t(Get(body.data(), 4)));
    ad.node = sender;
    ad.arrival = Get(body.data() + 4, 8);
    ad.relaxed = body[12] == 1;
    std::copy(body.begin() + 13, body.end(), ad.records.begin());
    return ad;
}

std::vector<uint8_t> EncodeSessionId(int32_t sessionId) {
    std::vector<uint8_t> body;
    Put(body, uint32_t(sessionId), 4);
    return body;
}

std::optional<int32_t> DecodeSessionId(std::span<const uint8_t> body) {
    if (body.size() != 4)
        return std::nullopt;
    return int32_t(uint32_t(Get(body.data(), 4)));
}

} // namespace vessaro::cluster
