#include "ProfilePane.h"

#include "Codec.h"

#include <QCoreApplication>

#include <span>
#include <string>

namespace vessaro {
namespace {

QString Field(std::span<const char> field) {
    return QString::fromStdString(DecodeGbk(FieldText(field)));
}

} // namespace

QString ProfilePaneText(const UserProfile& p) {
    const QString lineBreak = QStringLiteral("\r\n");
    //: English: Nickname:
    QString text = QCoreApplication::translate("vessaro::ProfilePane", "昵称：") +
                   Field(p.nickname) + lineBreak;
    //: English: Sex:
    text += QCoreApplication::translate("vessaro::ProfilePane", "性别：");
    if (p.sex == SEX_MALE) {
        //: English: male
        text += QCoreApplication::translate("vessaro::ProfilePane", "男");
    } else {
        //: English: female
        text += QCoreApplication::translate("vessaro::ProfilePane", "女");
    }
    //: English: Age:
    text += lineBreak + QCoreApplication::translate("vessaro::ProfilePane", "年龄：") +
            QString::number(p.age) + lineBreak;
    //: English: Trade:
    text += QCoreApplication::translate("vessaro::ProfilePane", "职业：") + Field(p.occupation) +
            lineBreak;
    //: English: Location:
    text += QCoreApplication::translate("vessaro::ProfilePane", "位置：");
    //: English: %1, %2
    text += QCoreApplication::translate("vessaro::ProfilePane", "%1市%2区")
                .arg(Field(p.city), Field(p.district)) +
            lineBreak;
    //: English: About me:
    text += QCoreApplication::translate("vessaro::ProfilePane", "简介：") + Field(p.intro);
    return text;
}

} // namespace vessaro
