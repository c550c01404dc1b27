#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class NoteRepository;

// Text that could not be stored when the process had to end (a termination
// signal, the session logging out while saves fail), kept in private files
// beside the user's cache and offered back at the next start. Each file holds
// one note's id and its unsaved body; the folder is named after the data
// folder, so another data folder never receives a stranger's text.
class RecoveryStore
{
public:
    struct Entry
    {
        QString noteId;
        QString body; // Delta JSON
        QDateTime writtenAt;
        QString path;
    };

    // The folder for the data directory dataDir: under the cache location
    // ("<cache>/recovery/<hash of dataDir>").
    explicit RecoveryStore(const QString &dataDir);

    QString folder() const { return m_folder; }
    // Writes one note's unsaved body (0600 in a 0700 folder), replacing an
    // earlier file of the same note. False, with the cause logged, when it
    // cannot be written.
    bool write(const QString &noteId, const QString &body) const;
    // Readable entries, oldest first; unreadable files are logged and skipped.
    QList<Entry> entries() const;
    bool discard(const Entry &entry) const;
    // Puts each entry back: over its note when the note still exists (unless
    // the stored body is already the same), else as a new note. An entry is
    // removed only once stored. Returns the number stored.
    int restoreInto(NoteRepository *notes) const;

private:
    QString m_folder;
};
