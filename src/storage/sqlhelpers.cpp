#include "sqlhelpers.h"

#include "storagehealth.h"
#include "storagetime.h"

#include <QSqlError>
#include <QSqlQuery>

namespace SqlHelpers {

bool exec(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &value : values)
            q.addBindValue(value);
        ok = q.exec();
    }
    if (!ok)
        StorageHealth::reportFailure(q.lastError(), sql);
    return ok;
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? nullText() : QVariant(text);
}

QVariant optionalTime(const std::optional<QDateTime> &time)
{
    return time ? QVariant(storageTimeText(*time)) : nullText();
}

std::optional<QDateTime> optionalTimeFromText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    return storageTimeFromText(text);
}

} // namespace SqlHelpers
