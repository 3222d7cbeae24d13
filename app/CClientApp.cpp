#include "CClientApp.h"

#include "AppSettings.h"
#include "CMatchDialog.h"
#include "ClientInterface.h"
#include "MessageBox.h"
#include "SkinService.h"
#include "SocketSupport.h"
#include "Strings.h"

#include <QEventLoop>

namespace vessaro {

AppServices AppServices::Defaults() {
    AppServices services;
    services.socketSupport = &UdpSocketsAvailable;
    services.loadSkin = [](const QString& file) { SkinService::Instance().Load(file); };
    services.removeSkin = [] { SkinService::Instance().Remove(); };
    services.createMainWindow = [] {
        const AppSettings& settings = Settings();
        return std::make_unique<CMatchDialog>(settings.serverHost(), settings.serverPort(),
                                              settings.webUrl());
    };
    services.stopEngine = &ClientShutdown;
    services.showError = [](const QString& text) { ShowMessage(nullptr, text); };
    return services;
}

CClientApp::CClientApp(AppServices services) : services_(std::move(services)) {}

bool CClientApp::InitInstance() {
    if (!services_.socketSupport()) {
        services_.showError(res::LoadResString(res::kIdsSocketsInitFailed));
        return false;
    }
    services_.loadSkin(QString::fromLatin1(kSkinFile));

    std::unique_ptr<QDialog> mainWindow = services_.createMainWindow();
    mainWindow_ = mainWindow.get();
    RunUntilFinished(*mainWindow);
    mainWindow_ = nullptr;
    // The engine stops before the window goes, so that no event is posted to it afterwards; the
    // window takes an open chat window with it.
    services_.stopEngine();
    services_.removeSkin();
    mainWindow.reset();
    return false;
}

int RunUntilFinished(QDialog& window) {
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    window.show();
    loop.exec(QEventLoop::DialogExec);
    return window.result();
}

} // namespace vessaro
