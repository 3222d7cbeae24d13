#include "CAboutDialog.h"
#include "CConditionDialog.h"
#include "CMatchDialog.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "FakeMatchEngine.h"
#include "MessageBox.h"
#include "ModalDriver.h"
#include "RequirementSummary.h"
#include "Strings.h"
#include "Translations.h"
#include "VisibleTexts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using namespace res::condition_ids;

class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { test::RemoveTranslators(); }

    // The texts of the message box that the conditions dialog shows for a refused age.
    static QStringList RefusedAgeBox() {
        CConditionDialog conditions;
        conditions.OnInitDialog();
        conditions.show();
        res::ControlAs<QLineEdit>(&conditions, kAge)->setText(QStringLiteral("x"));
        QStringList texts;
        test::ModalDriver modals;
        modals.OnMessage([&texts](const QString&) {
            texts = test::VisibleTexts(QApplication::activeModalWidget());
        });
        res::ControlAs<QPushButton>(&conditions, kOk)->click();
        return texts;
    }
};

TEST_F(LanguageTest, InEnglishNoWindowShowsChinese) {
    ASSERT_TRUE(InstallTranslations(QStringLiteral("en")));
    test::FakeMatchEngine engine;
    CMatchDialog match(QStringLiteral("127.0.0.9"), 13366, QStringLiteral("http://127.0.0.1:1"),
                       &engine);
    match.show(); // shows that it connects
    CAboutDialog about;
    CConditionDialog conditions;
    conditions.OnInitDialog();
    const std::pair<const char*, QStringList> windows[] = {
        {"matching window", test::VisibleTexts(&match)},
        {"About dialog", test::VisibleTexts(&about)},
        {"conditions dialog", test::VisibleTexts(&conditions)},
        {"message box", RefusedAgeBox()},
    };
    about.show();
    conditions.show();
    test::SaveScreenshot(&match, QStringLiteral("en-match"));
    test::SaveScreenshot(&about, QStringLiteral("en-about"));
    test::SaveScreenshot(&conditions, QStringLiteral("en-conditions"));
    for (const auto& [name, texts] : windows) {
        EXPECT_FALSE(texts.isEmpty()) << name;
        EXPECT_EQ(test::ChineseTexts(texts), QStringList()) << name;
    }
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Vessaro"));
    EXPECT_EQ(res::LoadResString(res::kIdsSocketsInitFailed),
              QStringLiteral("Cannot open a network socket."));

    ConditionValues values;
    values.topic = "chat";
    values.partnerCity = "Shenzhen";
    values.partnerDistrict = "Futian";
    values.noRestriction = values.sexAny = values.locationAny = false;
    EXPECT_EQ(RequirementSummary(values),
              QStringLiteral("Looking for:\r\n\r\nTopic: chat\r\nSex: female\r\nAge: 12 - 99\r\n"
                             "Place: Shenzhen city, Futian district"));
}

TEST_F(LanguageTest, InChineseTheDesignedTextsStayAndQtSpeaksChinese) {
    ASSERT_TRUE(InstallTranslations(QStringLiteral("zh_CN")));
    QDialogButtonBox qtButtons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(qtButtons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));

    CAboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Vessaro"));
    CConditionDialog conditions;
    EXPECT_EQ(conditions.windowTitle(), QStringLiteral("条件设置"));
    const QStringList texts = test::VisibleTexts(&conditions);
    for (const char* designed : {"话题选择", "昵称", "社区ID", "[不填表示不限]", "都可以", "确定"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(designed))) << designed;
    EXPECT_EQ(res::LoadResString(res::kIdsAboutBox), QStringLiteral("关于 Vessaro(&A)..."));
    const QStringList box = RefusedAgeBox();
    EXPECT_TRUE(box.contains(QStringLiteral("请输入 12 到 99 之间的整数。")))
        << box.join(u'|').toStdString();
    EXPECT_TRUE(box.contains(QStringLiteral("确定")));
    EXPECT_TRUE(box.contains(QStringLiteral("Vessaro")));
}

// Placeholders in a text, in order: "%1", "%2", ...
QStringList Placeholders(const QString& text) {
    QStringList found;
    for (const auto& match : QRegularExpression(QStringLiteral("%\\d")).globalMatch(text))
        found << match.captured();
    found.sort();
    return found;
}

TEST(TranslationFileTest, EveryEnglishEntryIsFinishedAndKeepsItsPlaceholders) {
    QFile file(QStringLiteral(VESSARO_EN_TS_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString context, source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"source") {
            source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == u"translation") {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString english = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            const std::string where = (context + QStringLiteral(": ") + source).toStdString();
            ++messages;
            EXPECT_TRUE(type.isEmpty()) << type.toStdString() << " " << where;
            EXPECT_FALSE(english.isEmpty()) << where;
            EXPECT_FALSE(test::HasChinese(english)) << where;
            EXPECT_EQ(Placeholders(english), Placeholders(source)) << where;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 50);
}

} // namespace
} // namespace vessaro
