#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// Installs the application's translation for locale from directory (the
// compiled-in ":/i18n" unless told otherwise) and Qt's own for the standard
// buttons and dialogs. Returns whether the application's own was found; the
// source texts (English) stay in place otherwise.
bool installTranslations(QCoreApplication *app, const QLocale &locale,
                         const QString &directory = QStringLiteral(":/i18n"));
