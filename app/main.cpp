// The Vessaro desktop client.
#include "AppIcon.h"
#include "AppSettings.h"
#include "CClientApp.h"
#include "CHtmlCtrl.h"
#include "CommandLine.h"
#include "MessageBox.h"
#include "SingleInstance.h"
#include "Translations.h"

#include <QApplication>
#include <QLocale>

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

// Brings the running copy's window up, as a click on its tray icon does.
void RaiseMainWindow() {
    if (QDialog* window = theApp.mainWindow()) {
        window->showNormal();
        window->raise();
        window->activateWindow();
    }
}

// The user's settings could not be read: said on the console and in a box, since a desktop user
// sees no console.
void TellSettingsUnreadable(const QString& keptAt) {
    std::fprintf(stderr,
                 "vessaro: the settings could not be read; using the built-in ones (the "
                 "file is kept as %s)\n",
                 qPrintable(keptAt));
    //: English: The settings file could not be read; the built-in settings are used. The file
    //: is kept as: %1
    vessaro::ShowMessage(nullptr, QCoreApplication::translate(
                                      "main", "无法读取设置文件，已改用内置设置。原文件保存为：%1")
                                      .arg(keptAt));
}

} // namespace

int main(int argc, char* argv[]) {
    // --help, --version and the program's own options are read before anything needs a display,
    // so that a mistake is reported without one.
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (const auto info = vessaro::InfoOptions(args); info.exit)
        return Finish(info);
    vessaro::DesktopOptions options;
    if (const auto bad = vessaro::TakeProgramOptions(args, options); bad.exit)
        return Finish(bad);

    // Qt sees only what is left: its own options, or mistakes.
    std::vector<char*> qtArgv{argv[0]};
    for (std::string& arg : args)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgv.size()) - 1;

    vessaro::CHtmlCtrl::RegisterScheme(); // before the QApplication, as the web engine requires
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(qtArgc, qtArgv.data());
    std::vector<std::string> leftover;
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        leftover.push_back(arg.toStdString());
    if (const auto unknown = vessaro::LeftoverArguments(leftover); unknown.exit)
        return Finish(unknown);

    QApplication::setApplicationName(QStringLiteral("vessaro"));
    const QString setAside =
        vessaro::UseSettingsFileOrSetAside(vessaro::AppSettings::DefaultFilePath(options.profile));
    vessaro::InstallTranslations(
        vessaro::ChooseLanguage(vessaro::Settings().language(), QLocale::system().name()));
    if (!setAside.isEmpty())
        TellSettingsUnreadable(setAside);

    // The server given is remembered even when a running copy is brought up instead, which uses
    // it from its next start.
    if (options.server) {
        vessaro::Settings().setServerHost(options.server->host);
        vessaro::Settings().setServerPort(options.server->port);
        vessaro::Settings().sync();
    }

    // One copy per user and profile: a second start brings the first one's window up instead.
    vessaro::SingleInstance instance(vessaro::SingleInstance::InstanceName(options.profile),
                                     vessaro::SingleInstance::DefaultFolder());
    if (!options.newInstance) {
        switch (instance.Claim()) {
        case vessaro::SingleInstance::Outcome::kFirst:
            QObject::connect(&instance, &vessaro::SingleInstance::activationRequested,
                             &RaiseMainWindow);
            break;
        case vessaro::SingleInstance::Outcome::kRaised:
            if (options.server)
                std::fputs("vessaro: already running; the new server is used from its next "
                           "start\n",
                           stderr);
            return 0;
        case vessaro::SingleInstance::Outcome::kNoAnswer:
            std::fputs("vessaro: a copy for this user and profile is running but does not answer;"
                       " use --new-instance to start another one\n",
                       stderr);
            return 1;
        case vessaro::SingleInstance::Outcome::kUnavailable:
            break; // no lock to be had: run anyway rather than not at all
        }
    }

    QApplication::setWindowIcon(vessaro::res::AppIcon());
    // The main window may hide in the notification area while no other window is open; only its
    // own end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    theApp.InitInstance();
    return theApp.ExitInstance();
}
