#pragma once

#include "attachment.h"
#include "note.h"
#include "notebook.h"
#include "notetext.h"
#include "snapshot.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A note with the texts of its body. Absent texts are extracted by the
// writer, and only for a row it writes: a restore over the same notes parses
// no body at all.
struct PreparedNote
{
    Note note;
    std::optional<NoteText> text;
};

// Rows an import or restore prepared on its worker, written together by
// the job's writer. Rows are written in the order
// notebooks, notes, attachments, snapshots.
struct WriteBatch
{
    QList<Notebook> notebooks;
    QList<PreparedNote> notes;
    QList<Attachment> attachments;
    QList<Snapshot> snapshots;
    // Attachment files placed for these rows: removed when the job does not commit.
    QStringList createdFiles;
    // Where the job stands once this batch is written.
    int current = 0;
    int total = 0;
    QString label;

    qsizetype rows() const { return notebooks.size() + notes.size() + attachments.size() + snapshots.size(); }
};
