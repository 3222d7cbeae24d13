#pragma once

#include <QDialog>

namespace vessaro {

// The About box: the program's name and version, a line about it and the web site's address.
// OK, Esc or the close box end it; nothing else happens.
class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

} // namespace vessaro
