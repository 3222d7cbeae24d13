#pragma once

class QMessageBox;

namespace vessaro::res {

// Makes a message box look the same in every window: the application's title as its caption, its
// text shown as plain text (texts can carry what a partner or the system wrote), and its OK
// button labelled in the user's language whether or not Qt's own translations are installed.
void SetUpMessageBox(QMessageBox& box);

} // namespace vessaro::res
