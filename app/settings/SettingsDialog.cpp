#include "SettingsDialog.h"

#include "AppSettings.h"
#include "BuildConfig.h"
#include "ServerAddress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace vessaro {
namespace {

// Adds the choices (shown text, stored value) and selects the one that is stored.
void FillChoices(QComboBox* box, const std::initializer_list<std::pair<QString, QString>>& choices,
                 const QString& current) {
    for (const auto& [text, value] : choices)
        box->addItem(text, value);
    box->setCurrentIndex(std::max(0, box->findData(current)));
}

QLabel* Note(const QString& text, QWidget* parent) {
    auto* note = new QLabel(text, parent);
    note->setWordWrap(true);
    note->setEnabled(false); // drawn as secondary text
    return note;
}

} // namespace

SettingsDialog::SettingsDialog(AppSettings& settings, std::function<void()> clearProfile,
                               QWidget* parent)
    : QDialog(parent), settings_(settings), clearProfile_(std::move(clearProfile)) {
    //: English: Settings
    setWindowTitle(tr("设置"));
    BuildForm();
}

void SettingsDialog::BuildForm() {
    server_ = new QLineEdit(FormatServerAddress(settings_.serverHost(), settings_.serverPort()));
    server_->setObjectName(QStringLiteral("server"));
    // Room for an IPv6 address with its port.
    server_->setMinimumWidth(server_->fontMetrics().averageCharWidth() * 36);
    webUrl_ = new QLineEdit(settings_.webUrlSetting());
    webUrl_->setObjectName(QStringLiteral("webUrl"));
    //: English: empty: follow the server
    webUrl_->setPlaceholderText(tr("留空则跟随服务器"));

    language_ = new QComboBox;
    language_->setObjectName(QStringLiteral("language"));
    // Each language is named in its own words, so that a user who cannot read the current one
    // still finds theirs.
    //: English: Follow the system
    const QString followSystem = tr("跟随系统");
    FillChoices(language_,
                {{followSystem, QString()},
                 {QStringLiteral("中文"), QStringLiteral("zh_CN")},
                 {QStringLiteral("English"), QStringLiteral("en")}},
                settings_.language());

    //: English: Show desktop notifications
    notifications_ = new QCheckBox(tr("显示桌面通知"));
    notifications_->setObjectName(QStringLiteral("notifications"));
    notifications_->setChecked(settings_.notificationsEnabled());

    skin_ = new QComboBox;
    skin_->setObjectName(QStringLiteral("skin"));
    //: English: Follow the desktop
    const QString followDesktop = tr("跟随桌面");
    //: English: Light
    const QString light = tr("浅色");
    //: English: Dark
    const QString dark = tr("深色");
    FillChoices(skin_,
                {{followDesktop, QStringLiteral("auto")},
                 {light, QStringLiteral("light")},
                 {dark, QStringLiteral("dark")}},
                settings_.skin());

    //: English: Forget my profile and wishes
    clearProfileButton_ = new QPushButton(tr("清除记住的资料和要求"));
    clearProfileButton_->setObjectName(QStringLiteral("clearProfile"));
    connect(clearProfileButton_, &QPushButton::clicked, this, &SettingsDialog::OnClearProfile);

    error_ = new QLabel;
    error_->setObjectName(QStringLiteral("error"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #c00000;"));
    error_->hide();

    auto* form = new QFormLayout;
    //: English: Server (host[:port]):
    form->addRow(tr("服务器（主机[:端口]）："), server_);
    //: English: Web pages address:
    form->addRow(tr("网页地址："), webUrl_);
    //: English: A new server is used at once, or once the current conversation ends.
    form->addRow(Note(tr("更改服务器后立即生效；正在对话时，在对话结束后生效。"), this));
    //: English: Language:
    form->addRow(tr("语言："), language_);
    //: English: A new language takes effect at the next start.
    form->addRow(Note(tr("更改语言后，下次启动时生效。"), this));
    form->addRow(notifications_);
    //: English: Skin:
    form->addRow(tr("皮肤："), skin_);
    form->addRow(clearProfileButton_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons);
}

QString SettingsDialog::errorText() const {
    return error_->isHidden() ? QString() : error_->text();
}

bool SettingsDialog::Refuse(QWidget* field, const QString& message) {
    error_->setText(message);
    error_->show();
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    return false;
}

bool SettingsDialog::Apply() {
    const ServerAddressResult server = ParseServerAddress(server_->text(), VESSARO_SERVER_PORT);
    if (!server.address) {
        switch (server.error) {
        case ServerAddressError::kEmpty:
            //: English: Please enter the server's address.
            return Refuse(server_, tr("请填写服务器地址。"));
        case ServerAddressError::kBadPort:
            //: English: The port must be a whole number from 1 to 65535.
            return Refuse(server_, tr("端口必须是 1 到 65535 之间的整数。"));
        case ServerAddressError::kBadHost:
            break;
        }
        //: English: The server must be a host name, an IPv4 address or an IPv6 address (write
        //: [::1]:13366 with a port), optionally followed by :port.
        return Refuse(server_, tr("服务器应为主机名、IPv4 地址或 IPv6 地址，可在后面加 :端口"
                                  "（IPv6 带端口时写成 [::1]:13366）。"));
    }
    const std::optional<QString> webUrl = NormalizeWebUrl(webUrl_->text());
    if (!webUrl) {
        //: English: The web address must start with http:// or https:// and name a host, or be
        //: left empty to follow the server.
        return Refuse(webUrl_, tr("网页地址应以 http:// 或 https:// 开头并带有主机名，"
                                  "或留空以跟随服务器。"));
    }
    error_->hide();

    // Only a change is written: a server left as it was stays "the built-in one", whose web
    // address is the build's.
    serverChanged_ = false;
    if (server.address->host != settings_.serverHost() ||
        server.address->port != settings_.serverPort()) {
        settings_.setServerHost(server.address->host);
        settings_.setServerPort(server.address->port);
        serverChanged_ = true;
    }
    if (*webUrl != settings_.webUrlSetting()) {
        settings_.setWebUrlSetting(*webUrl);
        serverChanged_ = true;
    }
    settings_.setLanguage(language_->currentData().toString());
    settings_.setNotificationsEnabled(notifications_->isChecked());
    settings_.setSkin(skin_->currentData().toString());
    settings_.sync();
    return true;
}

void SettingsDialog::accept() {
    if (Apply())
        QDialog::accept();
}

void SettingsDialog::OnClearProfile() {
    if (clearProfile_)
        clearProfile_();
    //: English: Profile and wishes forgotten
    clearProfileButton_->setText(tr("已清除记住的资料和要求"));
    clearProfileButton_->setEnabled(false);
}

} // namespace vessaro
