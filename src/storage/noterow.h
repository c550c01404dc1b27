#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QString>

// A note as the lists show it: no body. Times are UTC.
struct NoteRow
{
    QString id;
    QString notebookId;
    QString title;
    QString preview;
    // Search results only: text around the first match, each matched word
    // between kSnippetOpen and kSnippetClose.
    QString snippet;
    QDateTime updatedAt;
    QDateTime deletedAt; // invalid unless in the trash
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isShared = false;

    bool operator==(const NoteRow &) const = default;
};

inline constexpr QChar kSnippetOpen = QChar(0x2);
inline constexpr QChar kSnippetClose = QChar(0x3);
