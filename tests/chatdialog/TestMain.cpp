#include "CHtmlCtrl.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// One QApplication for the whole test program. Listing the tests (as the build does to register
// them) needs no display, so no application is made for it.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    // Qt's file dialogs remember where they were in the user's settings: the tests keep theirs
    // to themselves, so that no run starts where another one left off.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    vessaro::CHtmlCtrl::RegisterScheme();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
