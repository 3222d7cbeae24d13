#include "ChatWindowFixture.h"

#include "AppSettings.h"
#include "CHtmlCtrl.h"

#include <QLabel>
#include <QTemporaryDir>

namespace vessaro::test {
namespace {

class ChatResizeTest : public ChatWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        UseSettingsFile(folder.filePath(QStringLiteral("vessaro.conf")));
        ChatWindowTest::SetUp();
        built = dialog->size();
    }
    QRect At(int id) const { return res::Control(dialog, id)->geometry(); }

    QTemporaryDir folder;
    QSize built;
};

TEST_F(ChatResizeTest, TranscriptAndInputGrowWhileTheProfilePanesKeepTheirWidth) {
    EXPECT_EQ(dialog->minimumSize(), built);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    const QRect transcript = At(res::IDC_CHAT_TRANSCRIPT);
    const QRect input = At(res::IDC_CHAT_INPUT);
    const QRect peer = At(res::IDC_CHAT_PEER_PROFILE);
    const QRect send = At(res::IDC_CHAT_SEND);
    const QRect accept = At(res::IDC_CHAT_ACCEPT);
    const QRect logo = At(res::IDC_CHAT_LOGO);

    dialog->resize(built + QSize(200, 160));
    EXPECT_EQ(At(res::IDC_CHAT_TRANSCRIPT), transcript.adjusted(0, 0, 200, 120));
    EXPECT_EQ(At(res::IDC_CHAT_INPUT), input.adjusted(0, 120, 200, 160));
    EXPECT_EQ(At(res::IDC_CHAT_PEER_PROFILE), peer.translated(200, 0));
    EXPECT_EQ(At(res::IDC_CHAT_SEND), send.translated(200, 160));
    EXPECT_EQ(At(res::IDC_CHAT_ACCEPT), accept.translated(0, 160));
    EXPECT_EQ(At(res::IDC_CHAT_LOGO), logo.translated(200, 160));

    dialog->resize(built - QSize(50, 50));
    EXPECT_EQ(dialog->size(), built) << "the designed size is the least";
    EXPECT_EQ(At(res::IDC_CHAT_TRANSCRIPT), transcript);
}

TEST_F(ChatResizeTest, SizeIsRememberedAndADamagedSettingGivesTheDesignedSize) {
    const int transcriptWidth = At(res::IDC_CHAT_TRANSCRIPT).width();
    dialog->resize(built + QSize(120, 80));
    dialog->close();
    ASSERT_FALSE(Settings().chatGeometry().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const struct {
        QByteArray setting;
        QSize size;
    } cases[] = {
        {Settings().chatGeometry(), built + QSize(120, 80)},
        {QByteArrayLiteral("not a geometry"), built},
    };
    for (const auto& c : cases) {
        Settings().setChatGeometry(c.setting);
        CChatDialog again(&host, engine, QStringLiteral("http://127.0.0.1:9"));
        again.Open();
        EXPECT_EQ(again.size(), c.size);
        EXPECT_EQ(res::Control(&again, res::IDC_CHAT_TRANSCRIPT)->width(),
                  transcriptWidth + c.size.width() - built.width())
            << "laid out for the size it opens at";
    }
}

} // namespace
} // namespace vessaro::test
