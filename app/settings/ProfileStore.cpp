#include "ProfileStore.h"

#include "Codec.h"
#include "DecimalText.h"

#include <QSettings>

#include <optional>

namespace vessaro {
namespace {

constexpr auto kGroup = "profile";

QString Key(const char* name) {
    return QStringLiteral("%1/%2").arg(QLatin1String(kGroup), QLatin1String(name));
}

// The stored text, when it is a single string that fits the field: no control characters (a
// field is one line) and at most maxBytes in GBK.
std::optional<std::string> StoredText(const QSettings& store, const char* name,
                                      std::size_t maxBytes) {
    const QVariant value = store.value(Key(name));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }
    std::string utf8 = text.toStdString();
    const std::optional<std::size_t> bytes = GbkLength(utf8);
    if (!bytes || *bytes > maxBytes)
        return std::nullopt;
    return utf8;
}

// The stored whole number in [low, high], written as plain decimal digits.
std::optional<uint32_t> StoredNumber(const QSettings& store, const char* name, uint32_t low,
                                     uint32_t high) {
    const QVariant value = store.value(Key(name));
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int &&
        value.typeId() != QMetaType::UInt)
        return std::nullopt;
    return ParseDecimal(value.toString(), 9, low, high);
}

std::optional<bool> StoredFlag(const QSettings& store, const char* name) {
    const QVariant value = store.value(Key(name));
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return std::nullopt;
}

void LoadText(const QSettings& store, const char* name, std::size_t maxBytes, std::string& member) {
    if (auto text = StoredText(store, name, maxBytes))
        member = std::move(*text);
}

void LoadAge(const QSettings& store, const char* name, uint32_t& member) {
    if (auto age = StoredNumber(store, name, limits::kMinAge, limits::kMaxAge))
        member = *age;
}

void LoadSex(const QSettings& store, const char* name, int& member) {
    if (auto index = StoredNumber(store, name, 0, 1))
        member = static_cast<int>(*index);
}

void LoadFlag(const QSettings& store, const char* name, bool& member) {
    if (auto flag = StoredFlag(store, name))
        member = *flag;
}

void SetText(QSettings& store, const char* name, const std::string& utf8) {
    store.setValue(Key(name), QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

} // namespace

ConditionValues LoadProfile(const QSettings& store) {
    ConditionValues v;
    LoadText(store, "nickname", limits::kNickname, v.nickname);
    LoadText(store, "communityId", limits::kCommunityId, v.communityId);
    LoadSex(store, "sex", v.ownSexIndex);
    LoadAge(store, "age", v.age);
    LoadText(store, "city", limits::kCity, v.city);
    LoadText(store, "district", limits::kDistrict, v.district);
    LoadText(store, "occupation", limits::kOccupation, v.occupation);
    LoadText(store, "intro", kStoredIntroBytes, v.intro);
    LoadText(store, "topic", limits::kTopic, v.topic);
    LoadFlag(store, "noRestriction", v.noRestriction);
    LoadFlag(store, "sexAny", v.sexAny);
    LoadSex(store, "partnerSex", v.partnerSexIndex);
    LoadAge(store, "minAge", v.minAge);
    LoadAge(store, "maxAge", v.maxAge);
    LoadFlag(store, "locationAny", v.locationAny);
    LoadText(store, "partnerCity", limits::kCity, v.partnerCity);
    LoadText(store, "partnerDistrict", limits::kDistrict, v.partnerDistrict);
    return v;
}

void StoreProfile(QSettings& store, const ConditionValues& v) {
    SetText(store, "nickname", v.nickname);
    SetText(store, "communityId", v.communityId);
    store.setValue(Key("sex"), v.ownSexIndex);
    store.setValue(Key("age"), v.age);
    SetText(store, "city", v.city);
    SetText(store, "district", v.district);
    SetText(store, "occupation", v.occupation);
    SetText(store, "intro", v.intro);
    SetText(store, "topic", v.topic);
    store.setValue(Key("noRestriction"), v.noRestriction);
    store.setValue(Key("sexAny"), v.sexAny);
    store.setValue(Key("partnerSex"), v.partnerSexIndex);
    store.setValue(Key("minAge"), v.minAge);
    store.setValue(Key("maxAge"), v.maxAge);
    store.setValue(Key("locationAny"), v.locationAny);
    SetText(store, "partnerCity", v.partnerCity);
    SetText(store, "partnerDistrict", v.partnerDistrict);
    store.sync();
}

void ClearProfile(QSettings& store) {
    store.remove(QLatin1String(kGroup));
    store.sync();
}

} // namespace vessaro
