#include "ChatWindowFixture.h"
#include "Codec.h"
#include "ProfilePane.h"
#include "TranscriptPage.h"
#include "Translations.h"
#include "VisibleTexts.h"

#include <QAccessible>
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QTest>

namespace vessaro::test {
namespace {

using namespace res;

// The chat window with ASCII names and profiles: whatever Chinese it shows then is its own.
class ChatKeyboardLanguageTest : public ChatWindowTest {
protected:
    void SetUp() override {}
    void TearDown() override {
        if (dialog)
            ChatWindowTest::TearDown();
        RemoveTranslators();
    }
    void OpenWindow() {
        dialog = new CChatDialog(&host, engine, QStringLiteral("http://127.0.0.1:9"));
        dialog->myNickname = QStringLiteral("Ming");
        dialog->peerNickname = QStringLiteral("Hong");
        dialog->peerProfileText = QStringLiteral("Hong");
        dialog->myProfileText = QStringLiteral("Ming");
        dialog->Open();
    }
    void Activate() {
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    }
    QMenu* FileMenu() const { return dialog->findChild<QMenu*>(QString::number(IDR_CHAT_MENU)); }
};

TEST_F(ChatKeyboardLanguageTest, InEnglishTheWindowAndItsSystemLinesHaveNoChinese) {
    ASSERT_TRUE(InstallTranslations(QStringLiteral("en")));
    OpenWindow();
    StartTalking();
    Post(EVT_SERVER_LOST);
    EndTalking();
    EXPECT_EQ(ChineseTexts(VisibleTexts(dialog)), QStringList());
    SaveScreenshot(dialog, QStringLiteral("en-chat"));
    const QString page = QString::fromStdString(DecodeGbk(dialog->BuildPage()));
    EXPECT_FALSE(HasChinese(page)) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("Connected. You can start talking!")));
    EXPECT_EQ(FileMenu()->title(), QStringLiteral("&File"));
}

TEST_F(ChatKeyboardLanguageTest, InChineseTheMenuAndSystemLinesAreAsDesigned) {
    ASSERT_TRUE(InstallTranslations(QStringLiteral("zh_CN")));
    OpenWindow();
    EXPECT_EQ(FileMenu()->title(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(FileMenu()->actions().first()->text(), QStringLiteral("保存"));
    EXPECT_EQ(LastEntry().messageText, Gbk("请选择‘接受’开始对话，拒绝对话请按“挂断”"));
    EXPECT_NE(dialog->BuildPage().find(Gbk("请选择‘接受’开始对话")), std::string::npos);
}

// The profile panes: in Chinese exactly the engine's layout of the record; in English labelled in
// English, with the partner's own (Chinese) words kept as they are.
TEST_F(ChatKeyboardLanguageTest, ProfilePanesFollowTheLanguageAndKeepThePartnersWords) {
    UserProfile profile{};
    const auto put = [](char* field, const char* utf8) {
        const std::string gbk = EncodeGbkOrEmpty(utf8);
        std::copy(gbk.begin(), gbk.end(), field);
    };
    put(profile.nickname, "小红");
    put(profile.occupation, "教师");
    put(profile.city, "深圳");
    put(profile.district, "南山%1");
    put(profile.intro, "你好");
    profile.age = 23;
    for (int32_t sex : {SEX_MALE, SEX_FEMALE}) {
        profile.sex = sex;
        EXPECT_EQ(ProfilePaneText(profile),
                  QString::fromStdString(DecodeGbk(FormatProfileText(profile))));
    }
    ASSERT_TRUE(InstallTranslations(QStringLiteral("en")));
    const QString english = ProfilePaneText(profile);
    EXPECT_EQ(english, QStringLiteral("Nickname: 小红\r\nSex: female\r\nAge: 23\r\nTrade: "
                                      "教师\r\nLocation: 深圳, 南山%1\r\nAbout me: 你好"));
}

TEST_F(ChatKeyboardLanguageTest, AltFOpensTheFileMenuAndCtrlSSaves) {
    OpenWindow();
    Activate();
    QAction* save = FileMenu()->actions().first();
    EXPECT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save)); // shown beside 保存
    QTest::keyClick(dialog, Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(WaitUntil([&] { return FileMenu()->isVisible(); }, 2000));
    FileMenu()->close();

    ModalDriver modals;
    bool offered = false;
    modals.OnNextFileDialog([&offered](QFileDialog* files) {
        offered = files->acceptMode() == QFileDialog::AcceptSave;
        files->reject();
    });
    QTest::keyClick(Input(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(modals.fileDialogsSeen(), 1);
    EXPECT_TRUE(offered);
}

TEST_F(ChatKeyboardLanguageTest, TabGoesFromTheInputBoxThroughTheButtonsAndAllAreNamed) {
    OpenWindow();
    std::vector<QWidget*> chain{Input()};
    for (QWidget* w = Input()->nextInFocusChain(); w != Input(); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(dialog))
            chain.push_back(w);
    }
    const std::vector<QWidget*> expected{Input(), Button(IDC_CHAT_ACCEPT), Button(IDC_CHAT_HANGUP),
                                         Button(IDC_CHAT_CLOSE), Button(IDC_CHAT_SEND)};
    EXPECT_EQ(chain, expected);
    for (QWidget* control : chain) {
        EXPECT_FALSE(
            QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty());
    }
    const std::pair<int, const char*> views[] = {{IDC_CHAT_TRANSCRIPT, "对话内容"},
                                                 {IDC_CHAT_LOGO, "网站标志"},
                                                 {IDC_CHAT_PEER_PROFILE, "对方资料"},
                                                 {IDC_CHAT_MY_PROFILE, "我的资料"}};
    for (const auto& [id, name] : views)
        EXPECT_EQ(Control(dialog, id)->accessibleName(), QString::fromUtf8(name)) << id;
}

} // namespace
} // namespace vessaro::test
