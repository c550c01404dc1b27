#pragma once

#include "notebook.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Database;

// Reads and writes the notebooks table. Holds a non-owning pointer to the
// Database, which must outlive it. GUI thread only; notebooksChanged is emitted
// after each successful insert, update and soft delete.
class NotebookRepository final : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit NotebookRepository(Database *database, QObject *parent = nullptr);

    // Source of "now" for softDelete; defaults to the current UTC time.
    void setClock(Clock clock);

    // Live notebooks, default first, then by name in BINARY (case-sensitive) order.
    QList<Notebook> allNotebooks() const;
    std::optional<Notebook> notebookById(const QString &id) const;
    // Pending notebooks, deleted ones included, in the order of allNotebooks.
    QList<Notebook> pendingNotebooks() const;

    bool insert(const Notebook &notebook);
    // Writes the record as given: no version bump, no time stamp.
    bool update(const Notebook &notebook);
    bool softDelete(const QString &id);
    int markAllPending();

signals:
    void notebooksChanged();

private:
    QList<Notebook> queryNotebooks(const QString &sql) const;

    Database *m_database;
    Clock m_clock;
};
