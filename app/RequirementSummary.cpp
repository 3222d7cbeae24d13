#include "RequirementSummary.h"

#include <QCoreApplication>

namespace vessaro {
namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Tr(const char* text) {
    return QCoreApplication::translate("vessaro::RequirementSummary", text);
}

QString SexLine(const ConditionValues& values) {
    if (values.sexAny || values.noRestriction)
        //: English: any
        return Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "不限"));
    //: English: male
    return values.partnerSexIndex == 0 ? Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "男"))
                                       //: English: female
                                       : Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "女"));
}

QString LocationLine(const ConditionValues& values) {
    if (values.locationAny || values.noRestriction)
        //: English: Location: any
        return Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "位置：不限"));
    if (!values.partnerDistrict.empty()) {
        //: English: Location: %1 city, %2 district
        return Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "位置：%1市 %2区"))
            .arg(Utf8(values.partnerCity), Utf8(values.partnerDistrict));
    }
    //: English: Location: %1 city
    return Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "位置：%1市"))
        .arg(Utf8(values.partnerCity));
}

} // namespace

QString RequirementSummary(ConditionValues& values) {
    const QString lineBreak = QStringLiteral("\r\n");
    //: English: Looking for:
    QString summary =
        Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "聊天要求：")) + lineBreak + lineBreak;
    //: English: Topic: %1
    summary +=
        Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "话题：%1")).arg(Utf8(values.topic)) +
        lineBreak;
    //: English: Sex: %1
    summary +=
        Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "性别：%1")).arg(SexLine(values)) +
        lineBreak;
    //: English: Age: %1 - %2
    summary += Tr(QT_TRANSLATE_NOOP("vessaro::RequirementSummary", "年龄：%1 - %2岁"))
                   .arg(values.minAge)
                   .arg(values.maxAge) +
               lineBreak;
    if (values.partnerDistrict.empty() && values.partnerCity.empty())
        values.locationAny = true;
    summary += LocationLine(values);
    return summary;
}

} // namespace vessaro
