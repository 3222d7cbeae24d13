// A failed desktop case is named in the output with the command that runs it alone: this
// executable runs itself on a case that fails on purpose and reads what it prints.
#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

TEST(RerunHintTest, DISABLED_FailsOnPurpose) {
    ADD_FAILURE() << "failing so that the command to rerun it is printed";
}

TEST(RerunHintTest, AFailedCaseIsFollowedByTheCommandThatRunsItAlone) {
    const QString self = QCoreApplication::applicationFilePath();
    const QString filter = QStringLiteral("--gtest_filter=RerunHintTest.DISABLED_FailsOnPurpose");
    QProcess child;
    child.start(self, {QStringLiteral("--gtest_also_run_disabled_tests"), filter});
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_NE(child.exitCode(), 0);
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString command = "'" + self + "' '" + filter + "'";
    QStringList hints;
    for (const QString& line : output.split('\n'))
        if (line.startsWith(QStringLiteral("[  RERUN   ] ")))
            hints << line;
    ASSERT_EQ(hints.size(), 1) << output.toStdString();
    EXPECT_TRUE(hints[0].endsWith(command)) << hints[0].toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("To run a failed case alone:\n  ")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("QT_QPA_PLATFORM=offscreen ")))
        << "the command keeps the test environment";
}

} // namespace
} // namespace vessaro
