#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

namespace vessaro {

// What the application needs from the machine at start-up and around its main window. The
// defaults are the real ones; tests replace them to watch the order of the steps.
struct AppServices {
    std::function<bool()> socketSupport;
    std::function<void(const QString& skinFile)> loadSkin;
    std::function<void()> removeSkin;
    std::function<std::unique_ptr<QDialog>()> createMainWindow;
    // Stops the engine's threads and timers, so that nothing reaches a window after it is gone.
    std::function<void()> stopEngine;
    std::function<void(const QString& text)> showError;

    static AppServices Defaults();
};

// The application: checks socket support, puts the skin on, runs the matching window until it
// ends (the life of the program), takes the skin off again. The default main window is the
// matching window on the server and web address of the current settings.
class CClientApp {
public:
    explicit CClientApp(AppServices services = AppServices::Defaults());

    static constexpr const char* kSkinFile = "media.u3";

    // The whole life of the program's windows; always false (there is nothing more to run).
    bool InitInstance();
    int ExitInstance() { return 0; }

    // The main window while InitInstance runs it; null before and after.
    QDialog* mainWindow() const { return mainWindow_; }

private:
    AppServices services_;
    QDialog* mainWindow_ = nullptr;
};

// Shows the window and waits until it has finished (accepted or rejected). Unlike QDialog::exec,
// hiding the window (into the notification area) does not end the wait.
int RunUntilFinished(QDialog& window);

} // namespace vessaro
