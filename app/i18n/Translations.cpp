#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vessaro {

QString ChooseLanguage(const QString& setting, const QString& systemLocale) {
    if (setting == QLatin1String("zh_CN") || setting == QLatin1String("en"))
        return setting;
    return systemLocale.startsWith(QLatin1String("zh")) ? QStringLiteral("zh_CN")
                                                        : QStringLiteral("en");
}

bool InstallTranslations(const QString& language) {
    bool loaded = true;
    auto install = [&loaded](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(name, folder))
            QCoreApplication::installTranslator(translator);
        else {
            delete translator;
            loaded = false;
        }
    };
    if (language == QLatin1String("en")) {
        install(QStringLiteral("vessaro_en"), QStringLiteral(":/i18n"));
    } else {
        install(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    return loaded;
}

} // namespace vessaro
