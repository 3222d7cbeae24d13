#include "InputBox.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

class InputBoxTest : public ::testing::Test {
protected:
    QPlainTextEdit edit;
    InputBox box{&edit, 255};

    void Commit(const QString& text) {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(&edit, &commit);
    }
    int Bytes() const { return InputBox::EncodedLength(box.Text()); }
};

TEST(InputBoxLength, CountsGbkBytesWithLineBreaksAsCrLf) {
    struct {
        QString text;
        int bytes;
    } cases[] = {
        {QString(), 0},
        {QStringLiteral("abc"), 3},
        {QStringLiteral("你好"), 4},
        {QStringLiteral("a\nb"), 4},
        {QStringLiteral("a\r\nb"), 4},
        {QStringLiteral("a") + QChar(QChar::ParagraphSeparator) + QStringLiteral("b"), 4},
        {QStringLiteral("€"), 2},                   // in GBK as 0x80
        {QString::fromUtf8("\xF0\x9F\x98\x80"), 4}, // beyond GBK: four GB18030 bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(InputBox::EncodedLength(c.text), c.bytes) << c.text.toStdString();
}

TEST_F(InputBoxTest, ChineseCountsTwoBytesAndNeverSplits) {
    Commit(QString(127, QChar(0x4F60))); // 254 bytes
    EXPECT_EQ(Bytes(), 254);
    Commit(QStringLiteral("好"));
    EXPECT_EQ(Bytes(), 254) << "a 256th byte cannot go in";
    QTest::keyClicks(&edit, "!");
    EXPECT_EQ(Bytes(), 255);
    EXPECT_TRUE(box.Text().endsWith(QLatin1Char('!')));
}

TEST_F(InputBoxTest, PasteKeepsWhatFits) {
    QTest::keyClicks(&edit, "hello ");
    QApplication::clipboard()->setText(QStringLiteral("世界") + QString(400, QLatin1Char('z')));
    edit.paste();
    EXPECT_EQ(box.Text(), QStringLiteral("hello 世界") + QString(245, QLatin1Char('z')));
    EXPECT_EQ(Bytes(), 255);
}

TEST_F(InputBoxTest, PastedTextInTheMiddleKeepsTheTextAfterIt) {
    QTest::keyClicks(&edit, "<>");
    edit.moveCursor(QTextCursor::Left);
    edit.insertPlainText(QString(260, QLatin1Char('m')));
    EXPECT_EQ(box.Text(), QLatin1Char('<') + QString(253, QLatin1Char('m')) + QLatin1Char('>'));
}

TEST_F(InputBoxTest, LineBreakTakesTwoBytesAndReadsBackAsCrLf) {
    QTest::keyClicks(&edit, "a");
    box.InsertLineBreak();
    QTest::keyClicks(&edit, "b");
    EXPECT_EQ(box.Text(), QStringLiteral("a\r\nb"));

    box.SetText(QString(254, QLatin1Char('x')));
    box.InsertLineBreak();
    EXPECT_EQ(box.Text(), QString(254, QLatin1Char('x'))) << "the break would take 256 bytes";
}

TEST_F(InputBoxTest, SetTextTakesCrLfAndCutsToTheLimit) {
    box.SetText(QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(box.Text(), QStringLiteral("one\r\ntwo"));

    box.SetText(QString(300, QLatin1Char('q')));
    EXPECT_EQ(box.Text(), QString(255, QLatin1Char('q')));
}

TEST_F(InputBoxTest, UndoAndRedoNeverBringBackWhatWasCutOff) {
    QTest::keyClicks(&edit, "keep");
    edit.insertPlainText(QString(300, QLatin1Char('p')));
    for (int step = 0; step < 4; ++step) {
        edit.undo();
        EXPECT_LE(Bytes(), 255) << "undo " << step;
    }
    EXPECT_TRUE(box.Text().startsWith(QStringLiteral("kee")));
    for (int step = 0; step < 4; ++step) {
        edit.redo();
        EXPECT_LE(Bytes(), 255) << "redo " << step;
    }
}

} // namespace
} // namespace vessaro
