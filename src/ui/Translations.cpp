#include "ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString Translations::install(QCoreApplication& app, const QLocale& locale) {
    auto* qt = new QTranslator(&app);
    if (qt->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    // Built into the program by the build (qt_add_translations), under :/i18n.
    auto* own = new QTranslator(&app);
    if (!own->load(locale, "quovant", "_", ":/i18n")) {
        delete own;
        return QString();
    }
    QCoreApplication::installTranslator(own);
    return own->language();
}
