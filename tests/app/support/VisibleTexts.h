#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace vessaro::test {

// Every text a person can see or hear on a window: its title, the texts of its labels, buttons,
// group boxes and menus, tooltips and accessible names. Empty texts are left out.
QStringList VisibleTexts(const QWidget* window);

// Whether text holds Chinese characters or Chinese punctuation.
bool HasChinese(const QString& text);

// The texts of texts that hold Chinese, for a failure message.
QStringList ChineseTexts(const QStringList& texts);

// Takes every translator out of the application again (InstallTranslations adds them to it).
void RemoveTranslators();

} // namespace vessaro::test
