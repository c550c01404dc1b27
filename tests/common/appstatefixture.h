#pragma once

// Notes and an application state for the widget and app tests.

#include "appstate.h"
#include "note.h"
#include "noterepository.h"

#include <QDateTime>
#include <QTextEdit>
#include <QTest>
#include <QUuid>

#include <memory>

namespace VelmTest {

inline QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// A Delta of plain lines: "a\nb" becomes one insert ending in the final newline.
inline QString textDelta(QString text)
{
    text.replace(QLatin1String("\n"), QLatin1String("\\n"));
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

inline Note makeNote(const QString &body, const QDateTime &at = QDateTime::currentDateTimeUtc(),
                     SyncStatus status = SyncStatus::Synced)
{
    Note note;
    note.id = newId();
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = at;
    note.syncStatus = status;
    return note;
}

// Inserts a note of plain text lines and returns it as stored.
inline Note addNote(AppState &state, const QString &text, SyncStatus status = SyncStatus::Synced)
{
    const Note note = makeNote(textDelta(text), QDateTime::currentDateTimeUtc(), status);
    if (!state.notes()->insert(note))
        qFatal("could not insert a note");
    return note;
}

// An initialised state whose database holds no notes (the first run seeds welcome notes).
inline std::unique_ptr<AppState> emptyState()
{
    auto state = std::make_unique<AppState>();
    if (!state->initialize())
        qFatal("database did not open");
    for (const QList<Note> &notes : {state->notes()->allNotes(), state->notes()->trashedNotes()}) {
        for (const Note &note : notes)
            state->notes()->purge(note.id);
    }
    return state;
}

inline void typeAtEnd(QTextEdit *editor, const QString &text)
{
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, text);
}

} // namespace VelmTest
