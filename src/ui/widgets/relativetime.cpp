#include "relativetime.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(RelativeTime)
};

QString dateText(const QDate &date, const QDate &today)
{
    const QLocale locale;
    return locale.toString(date, date.year() == today.year() ? QStringLiteral("MMM d")
                                                             : QStringLiteral("MMM d, yyyy"));
}

} // namespace

QString relativeTimeText(const QDateTime &time, const QDateTime &now)
{
    if (!time.isValid())
        return {};
    const QDateTime local = time.toLocalTime();
    const QDateTime localNow = now.toLocalTime();
    const QDate today = localNow.date();
    const qint64 s = local.secsTo(localNow);

    if (s < 0)
        return dateText(local.date(), today);
    if (s < 60)
        return Texts::tr("just now");
    if (s < 3600)
        return Texts::tr("%1m ago").arg(s / 60);
    if (s < 86400)
        return Texts::tr("%1h ago").arg(s / 3600);

    const QDate date = local.date();
    if (date == today.addDays(-1))
        return Texts::tr("Yesterday");
    if (date > today.addDays(-7))
        return QLocale().dayName(date.dayOfWeek(), QLocale::LongFormat);
    return dateText(date, today);
}

QString noteMetaText(const QDateTime &updatedAt, int words, const QDateTime &now)
{
    const QString when = relativeTimeText(updatedAt, now);
    if (words < 1)
        return Texts::tr("Updated %1").arg(when);
    return Texts::tr("Updated %1 · %n words", nullptr, words).arg(when);
}
