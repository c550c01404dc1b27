#include "storagetime.h"

QString storageTimeText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    return time.toUTC().toString(Qt::ISODateWithMs);
}

namespace {

// Reads count digits at text[from]; -1 when one is not a digit.
int digits(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The form this program writes, "yyyy-MM-ddTHH:mm:ss.zzzZ", read without the
// general ISO parser: every list of notes reads three of these per row.
QDateTime fastStorageTime(const QString &text)
{
    if (text.size() != 24 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T' || text.at(13) != u':'
        || text.at(16) != u':' || text.at(19) != u'.' || text.at(23) != u'Z')
        return QDateTime();
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    const int ms = digits(text, 20, 3);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || ms < 0)
        return QDateTime();
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, ms);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime storageTimeFromText(const QString &text)
{
    if (text.isEmpty())
        return QDateTime();
    // Anything else the ISO parser accepts (no milliseconds, an offset, 24:00)
    // still goes through it.
    if (const QDateTime fast = fastStorageTime(text); fast.isValid())
        return fast;
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}
