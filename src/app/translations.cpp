#include "translations.h"

#include "applog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

bool install(QCoreApplication *app, const QLocale &locale, const QString &name, const QString &directory)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), directory))
        return false;
    translator->setParent(app);
    QCoreApplication::installTranslator(translator.release());
    return true;
}

} // namespace

bool installTranslations(QCoreApplication *app, const QLocale &locale, const QString &directory)
{
    install(app, locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!install(app, locale, QStringLiteral("velmora-notes"), directory)) {
        qCDebug(lcApp) << "no translation for" << locale.uiLanguages() << "in" << directory;
        return false;
    }
    qCInfo(lcApp) << "translation for" << locale.name() << "installed";
    return true;
}
