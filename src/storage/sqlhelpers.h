#pragma once

// Binding and execution helpers shared by the repositories (internal to storage).

#include <QDateTime>
#include <QSqlDatabase>
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
// A null text binds as '' (for NOT NULL text columns).
QVariant textOrEmpty(const QString &text);
// Empty text binds as NULL.
QVariant textOrNull(const QString &text);
// Absent time binds as NULL, a present one in the storage time format.
QVariant optionalTime(const std::optional<QDateTime> &time);
// Reads a nullable time column: NULL or empty text is absent.
std::optional<QDateTime> optionalTimeFromText(const QString &text);

} // namespace SqlHelpers



// One write of several statements that lands whole or not at all, inside or
// outside a transaction someone else holds (a bulk import joins its batch).
class WriteScope final
{
public:
    explicit WriteScope(const QSqlDatabase &db);
    ~WriteScope(); // rolls back unless committed
    WriteScope(const WriteScope &) = delete;
    WriteScope &operator=(const WriteScope &) = delete;

    bool isOpen() const { return m_open; }
    bool commit();

private:
    QSqlDatabase m_db;
    bool m_open = false;
    bool m_outermost = false;
};
