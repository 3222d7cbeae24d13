// One copy per user and profile: the second copy finds the first, which is asked to show itself;
// a lock left by a copy that crashed does not stop the next start.
#include "SingleInstance.h"
#include "WaitUntil.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vessaro {
namespace {

using Outcome = SingleInstance::Outcome;

TEST(SingleInstanceTest, TheSecondCopyAsksTheFirstToShowItself) {
    QTemporaryDir dir;
    SingleInstance first(QStringLiteral("vessaro-t"), dir.path());
    int raised = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++raised; });
    ASSERT_EQ(first.Claim(), Outcome::kFirst);

    SingleInstance second(QStringLiteral("vessaro-t"), dir.path());
    EXPECT_EQ(second.Claim(), Outcome::kRaised);
    EXPECT_TRUE(test::WaitUntil([&] { return raised == 1; }, 5000));

    // Another profile is another copy.
    SingleInstance other(QStringLiteral("vessaro-t-second"), dir.path());
    EXPECT_EQ(other.Claim(), Outcome::kFirst);
    EXPECT_EQ(raised, 1);
}

TEST(SingleInstanceTest, ALockLeftByACrashedCopyIsTakenOver) {
    QTemporaryDir dir;
    // What QLockFile writes: process id, program, host; no process has this id.
    QFile lock(dir.filePath(QStringLiteral("vessaro-t.lock")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("2147483646\nvessaro\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    // Its socket is left behind too.
    QFile socket(dir.filePath(QStringLiteral("vessaro-t.sock")));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();

    SingleInstance next(QStringLiteral("vessaro-t"), dir.path());
    EXPECT_EQ(next.Claim(), Outcome::kFirst);
    SingleInstance after(QStringLiteral("vessaro-t"), dir.path());
    EXPECT_EQ(after.Claim(), Outcome::kRaised);
}

} // namespace
} // namespace vessaro
