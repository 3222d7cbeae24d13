#pragma once

#include <QString>

class QWidget;

namespace vessaro {

// A modal message box with an OK button only and the application's title as its caption.
void ShowMessage(QWidget* parent, const QString& text);

} // namespace vessaro
