// The Vessaro desktop client.
#include "AppIcon.h"
#include "CClientApp.h"
#include "CHtmlCtrl.h"
#include "CommandLine.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

vessaro::CClientApp theApp;

int Finish(const vessaro::CommandLineOutcome& outcome) {
    std::fputs(outcome.output.c_str(), outcome.status == 0 ? stdout : stderr);
    return outcome.status;
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer before anything needs a display.
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (const auto info = vessaro::InfoOptions(args); info.exit)
        return Finish(info);

    vessaro::CHtmlCtrl::RegisterScheme(); // before the QApplication, as the web engine requires
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    std::vector<std::string> leftover;
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        leftover.push_back(arg.toStdString());
    if (const auto unknown = vessaro::LeftoverArguments(leftover); unknown.exit)
        return Finish(unknown);

    QApplication::setApplicationName(QStringLiteral("vessaro"));
    QApplication::setWindowIcon(vessaro::res::AppIcon());
    // The main window may hide in the notification area while no other window is open; only its
    // own end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    theApp.InitInstance();
    return theApp.ExitInstance();
}
