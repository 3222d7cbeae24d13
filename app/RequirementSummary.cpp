#include "RequirementSummary.h"

namespace vessaro {
namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString SexLine(const ConditionValues& values) {
    if (values.sexAny || values.noRestriction)
        return QStringLiteral("不限");
    return values.partnerSexIndex == 0 ? QStringLiteral("男") : QStringLiteral("女");
}

QString LocationLine(const ConditionValues& values) {
    if (values.locationAny || values.noRestriction)
        return QStringLiteral("位置：不限");
    if (!values.partnerDistrict.empty()) {
        return QStringLiteral("位置：%1市 %2区")
            .arg(Utf8(values.partnerCity), Utf8(values.partnerDistrict));
    }
    return QStringLiteral("位置：%1市").arg(Utf8(values.partnerCity));
}

} // namespace

QString RequirementSummary(ConditionValues& values) {
    QString summary = QStringLiteral("聊天要求：\r\n\r\n");
    summary += QStringLiteral("话题：") + Utf8(values.topic) + QStringLiteral("\r\n");
    summary += QStringLiteral("性别：") + SexLine(values) + QStringLiteral("\r\n");
    summary += QStringLiteral("年龄：%1 - %2岁\r\n").arg(values.minAge).arg(values.maxAge);
    if (values.partnerDistrict.empty() && values.partnerCity.empty())
        values.locationAny = true;
    summary += LocationLine(values);
    return summary;
}

} // namespace vessaro
