// The main of every desktop test: one QApplication for all the tests of the executable, created
// after the web engine's URL scheme is registered. Listing the tests needs no display.
#include "CHtmlCtrl.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    vessaro::CHtmlCtrl::RegisterScheme();
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
