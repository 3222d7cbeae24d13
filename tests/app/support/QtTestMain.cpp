// The main of every desktop test: one QApplication for all the tests of the executable, created
// after the web engine's URL scheme is registered. Listing the tests needs no display. Each failed
// case is followed by the command that runs it alone.
#include "AppSettings.h"
#include "CHtmlCtrl.h"
#include "RerunHint.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

namespace {

// Each test starts on settings of its own, with the built-in defaults, so that what one test
// stores (a remembered profile, a server) never reaches the next.
class FreshSettings : public ::testing::EmptyTestEventListener {
public:
    explicit FreshSettings(QString folder) : folder_(std::move(folder)) {}
    void OnTestStart(const ::testing::TestInfo&) override {
        vessaro::UseSettingsFile(QStringLiteral("%1/test-%2.conf").arg(folder_).arg(++count_));
    }

private:
    QString folder_;
    int count_ = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    // Qt keeps what widgets remember (where a file dialog was last, say) in the user's settings:
    // the tests keep theirs to themselves, so that no run starts where another one left off.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());

    vessaro::CHtmlCtrl::RegisterScheme();
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    char program[PATH_MAX];
    ::testing::UnitTest::GetInstance()->listeners().Append(new vessaro::test::RerunHint(
        realpath(argv[0], program) ? program : argv[0])); // gtest owns its listeners
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettings(settings.path()));
    return RUN_ALL_TESTS();
}
