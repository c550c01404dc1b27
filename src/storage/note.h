#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QString>

#include <optional>

// One row of the notes table. Times are UTC.
struct Note
{
    QString id;
    QString notebookId; // empty: in no notebook
    QString body;       // Delta JSON
    QDateTime createdAt;
    QDateTime updatedAt;
    QDateTime modifiedAt;
    std::optional<QDateTime> deletedAt; // present: in the trash
    int version = 1;
    int opVersion = 0;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isSample = false;
    QString ownerId;    // empty for the user's own notes
    bool isShared = false;
    QString permission; // "view" or "edit" for a note owned by someone else

    bool operator==(const Note &) const = default;

    // A new, empty note of this moment in the given notebook.
    static Note blank(const QString &id, const QString &notebookId)
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        Note note;
        note.id = id;
        note.notebookId = notebookId;
        note.body = QStringLiteral("[{\"insert\":\"\\n\"}]");
        note.createdAt = now;
        note.updatedAt = now;
        note.modifiedAt = now;
        return note;
    }
};
