#pragma once

#include <QString>

namespace vessaro {

// The language the user interface speaks: "zh_CN" or "en". setting is the user's choice ("" follows
// the system locale: Chinese for a Chinese locale, English otherwise); systemLocale is the system's
// locale name (QLocale::system().name()).
QString ChooseLanguage(const QString& setting, const QString& systemLocale);

// Installs the translators for language into the application: the program's own texts (built into
// the program) and Qt's own (its dialogs and standard buttons, from Qt's translations folder).
// Chinese is the language the program is written in, so only Qt's texts need a translator for it.
// Returns false when a translation that should exist could not be loaded; the texts then stay in
// the language they are written in.
bool InstallTranslations(const QString& language);

} // namespace vessaro
