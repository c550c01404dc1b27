#pragma once

// Binding and execution helpers shared by the repositories (internal to storage).

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

class QSqlQuery;

namespace SqlHelpers {

// Prepares sql on q, binds values positionally and executes it.
bool exec(QSqlQuery &q, const QString &sql, const QVariantList &values = {});

// A typed NULL for a nullable text column.
QVariant nullText();
// Empty text binds as NULL.
QVariant textOrNull(const QString &text);
// Absent time binds as NULL, a present one in the storage time format.
QVariant optionalTime(const std::optional<QDateTime> &time);
// Reads a nullable time column: NULL or empty text is absent.
std::optional<QDateTime> optionalTimeFromText(const QString &text);

} // namespace SqlHelpers
