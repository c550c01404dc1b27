#include "storagetime.h"

QString storageTimeText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime storageTimeFromText(const QString &text)
{
    if (text.isEmpty())
        return QDateTime();
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}
