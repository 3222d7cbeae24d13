#include "SoundService.h"
#include "ChatTestDoubles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <memory>

namespace vessaro::test {
namespace {

class SoundServiceTest : public ::testing::Test {
protected:
    RecordedSounds recorded;
    QStringList& log = recorded.log;
    SoundService& service = SoundService::Instance();
};

TEST_F(SoundServiceTest, RemembersWhatWasAskedForUntilStopped) {
    service.Play(QStringLiteral("ringin.wav"), true);
    EXPECT_EQ(service.current(), QStringLiteral("ringin.wav"));
    EXPECT_TRUE(service.looping());
    service.Play(QStringLiteral("ding.wav"), false);
    EXPECT_EQ(service.current(), QStringLiteral("ding.wav"));
    EXPECT_FALSE(service.looping());
    service.Stop();
    EXPECT_TRUE(service.current().isEmpty());
    EXPECT_FALSE(service.looping());
    EXPECT_EQ(log, (QStringList{QStringLiteral("play ringin.wav loop"),
                                QStringLiteral("play ding.wav once"), QStringLiteral("stop")}));
}

TEST_F(SoundServiceTest, MissingFileEndsTheCurrentSoundAndBeeps) {
    service.Play(QStringLiteral("ringin.wav"), true);
    service.Play(QStringLiteral("no-such-sound.wav"), false);
    EXPECT_EQ(log, (QStringList{QStringLiteral("play ringin.wav loop"), QStringLiteral("stop"),
                                QStringLiteral("beep")}));
}

TEST_F(SoundServiceTest, BareNamesResolveInTheFolderAndPathsStayAsGiven) {
    EXPECT_EQ(service.ResolvedPath(QStringLiteral("ding.wav")),
              QStringLiteral(VESSARO_SOUNDS_DIR "/ding.wav"));
    EXPECT_EQ(service.ResolvedPath(QStringLiteral("/elsewhere/ding.wav")),
              QStringLiteral("/elsewhere/ding.wav"));

    // Without a folder of its own the service looks beside the program, then in the data folder
    // of an installed tree.
    service.SetSoundsFolder(QString());
    const QString program = QCoreApplication::applicationDirPath();
    QDir programDir(program);
    programDir.rmdir(QStringLiteral("sounds"));
    EXPECT_EQ(service.ResolvedPath(QStringLiteral("ding.wav")),
              QDir::cleanPath(program + QStringLiteral("/../share/vessaro/sounds/ding.wav")));
    ASSERT_TRUE(programDir.mkdir(QStringLiteral("sounds")));
    EXPECT_EQ(service.ResolvedPath(QStringLiteral("ding.wav")),
              program + QStringLiteral("/sounds/ding.wav"));
    programDir.rmdir(QStringLiteral("sounds"));
}

// The committed wave files: small 16-bit mono PCM that starts and ends in silence, so the looping
// ones join without a click.
TEST(ShippedSounds, AreShortMonoPcmThatStartAndEndSilent) {
    for (const char* name : {"ringin.wav", "ringout.wav", "chimes.wav", "ding.wav", "over.wav"}) {
        SCOPED_TRACE(name);
        QFile file(QStringLiteral(VESSARO_SOUNDS_DIR "/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GT(bytes.size(), 44);
        EXPECT_LT(bytes.size(), 100 * 1024);
        auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
        auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
        EXPECT_EQ(bytes.mid(0, 4), "RIFF");
        EXPECT_EQ(u32(4), quint32(bytes.size() - 8));
        EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u16(20), 1) << "PCM";
        EXPECT_EQ(u16(22), 1) << "mono";
        EXPECT_EQ(u16(34), 16) << "bits per sample";
        EXPECT_EQ(bytes.mid(36, 4), "data");
        EXPECT_EQ(u32(40), quint32(bytes.size() - 44));
        const quint32 seconds100 = 100 * u32(40) / (2 * u32(24));
        EXPECT_GE(seconds100, 20u);
        EXPECT_LE(seconds100, 300u);
        EXPECT_EQ(u16(44), 0) << "first sample";
        EXPECT_EQ(u16(bytes.size() - 2), 0) << "last sample";
    }
}

} // namespace
} // namespace vessaro::test
