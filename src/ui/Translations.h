#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// The user's language for every text Quovant shows: Quovant's own translation and Qt's
// (the words of standard buttons), each the first of the user's languages it has, in
// the order the user prefers them (LANGUAGE, then LC_MESSAGES / LANG). A language with
// no translation keeps the product's own texts.
namespace Translations {

// Installs the translators on `app`; returns the language of Quovant's translation,
// empty when none fits.
QString install(QCoreApplication& app, const QLocale& locale = QLocale());

} // namespace Translations
