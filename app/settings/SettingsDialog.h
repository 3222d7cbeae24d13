#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vessaro {

class AppSettings;

// The settings dialog: the matching server, where the web pages come from, the language, desktop
// notifications, the skin, and a button that forgets the remembered profile and wishes. It shows
// the values of settings when it opens and stores them only on OK, and only when every field is
// valid; a refused field is named in the dialog, gets the focus, and nothing is stored.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // clearProfile forgets the remembered profile and wishes (in the store and in memory).
    SettingsDialog(AppSettings& settings, std::function<void()> clearProfile,
                   QWidget* parent = nullptr);

    // Checks every field and stores them all; false (with the reason shown) when one is refused.
    bool Apply();

    // Whether the last Apply changed the server or the web address (the window then moves to
    // them).
    bool serverChanged() const { return serverChanged_; }

    // The text naming the refused field; empty when none is.
    QString errorText() const;

    // OK: stores and closes, or stays open naming the refused field.
    void accept() override;

private:
    void BuildForm();
    bool Refuse(QWidget* field, const QString& message);
    void OnClearProfile();

    AppSettings& settings_;
    std::function<void()> clearProfile_;
    bool serverChanged_ = false;

    QLineEdit* server_ = nullptr;
    QLineEdit* webUrl_ = nullptr;
    QComboBox* language_ = nullptr;
    QCheckBox* notifications_ = nullptr;
    QComboBox* skin_ = nullptr;
    QPushButton* clearProfileButton_ = nullptr;
    QLabel* error_ = nullptr;
};

} // namespace vessaro
