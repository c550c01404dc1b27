#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class Database;

// Which account the notes, notebooks and unsent purges of this database belong
// with. Their column `account` is empty for the account the database is bound
// to now, so the sync engine sends only those; a row of another account keeps
// that account's key, waits, and syncs again when that account signs in here.
// Two more values: rows written before any account signed in, and rows the
// user keeps on this computer only. Holds a non-owning pointer to the
// Database, which must outlive it. GUI thread only.
class AccountBinding final
{
public:
    static inline const QString kBeforeSignIn = QStringLiteral("before-sign-in");
    static inline const QString kThisComputer = QStringLiteral("this-computer");

    explicit AccountBinding(Database *database);

    // The database changes hands from previous (empty: nobody yet) to account:
    // the rows bound now go to previous, account's own rows come back. Welcome
    // notes nobody edited belong to whoever is signed in. One transaction.
    bool bind(const QString &previous, const QString &account);

    // What the account bound now was never asked about: the user's own notes
    // (not others' shares, not untouched welcome notes) and live notebooks of
    // other accounts, or written before any sign-in. settled: accounts whose
    // rows it already chose to leave here.
    struct Others
    {
        QStringList noteIds;
        QStringList notebookIds;
        QStringList accounts; // their keys, each once
        bool isEmpty() const { return noteIds.isEmpty() && notebookIds.isEmpty(); }
    };
    Others others(const QStringList &settled) const;

    // Rows written before any sign-in stay on this computer only; other
    // accounts' rows keep their account (the caller records it as settled).
    bool keepOnThisComputer();

    // Moves the notes and notebooks into the account bound now. Their ids are
    // another account's on the server, so they, their notebooks and their
    // attachments get new ones and are sent as never synced; links between
    // notes, attachment files, history and to-dos follow. The other account's
    // copies on the server stay as they are. Returns old note id -> new id;
    // nothing changes when it fails.
    std::optional<QHash<QString, QString>> adopt(const Others &others);

    // Rows the server of the account bound now listed for it: they are that
    // account's (the same account at another address of its server, or
    // another account's note shared with it), whatever they were bound to.
    // Runs inside the caller's transaction.
    bool claim(const QString &table, const QStringList &ids);

    // Notes and notebooks kept away from the account bound now.
    QSet<QString> unboundNoteIds() const;
    QSet<QString> unboundNotebookIds() const;

private:
    QSet<QString> ids(const QString &table) const;

    Database *m_database;
};
