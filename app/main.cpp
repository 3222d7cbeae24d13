// The Vessaro desktop client.
#include "AppIcon.h"
#include "CClientApp.h"
#include "CHtmlCtrl.h"

#include <QApplication>

namespace {

vessaro::CClientApp theApp;

} // namespace

int main(int argc, char* argv[]) {
    vessaro::CHtmlCtrl::RegisterScheme(); // before the QApplication, as the web engine requires
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vessaro"));
    QApplication::setWindowIcon(vessaro::res::AppIcon());
    // The main window may hide in the notification area while no other window is open; only its
    // own end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    theApp.InitInstance();
    return theApp.ExitInstance();
}
