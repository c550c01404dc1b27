#pragma once

#include "note.h"
#include "notetext.h"

#include <QByteArray>
#include <QList>

// One page of a note pull, read from the reply and with the list, search and
// to-do texts of every pulled body extracted: the pure part of a merge, done
// on a worker so the GUI thread only writes the prepared rows.
struct PulledPage
{
    struct Row
    {
        Note note;          // id empty: a row the pull could not describe
        bool gone = false;  // a purge's tombstone or a withdrawn share
        NoteText text;      // of note.body
    };

    // Reads reply (the JSON body of GET /sync/pull); extract must be pure, as
    // it runs on whatever thread calls this.
    static PulledPage read(const QByteArray &reply, const NoteTextExtractor &extract);

    bool valid = false;  // the reply was a JSON object
    QList<Row> rows;
    qint64 timestamp = 0;
    bool hasMore = false;
};
