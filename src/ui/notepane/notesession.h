#pragma once

#include "converters.h"
#include "note.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class AppState;
class QMimeData;
class QPrinter;
class QTextDocument;
class QTimer;

// One note as a window edits it, apart from the widgets: storing the editor's
// body, version snapshots, copying, moving, trashing and printing. The main
// window and the note windows share it so that both follow the same rules.
// state is not owned.
class NoteSession final : public QObject
{
    Q_OBJECT
public:
    // Conflict: the stored text changed since it was loaded (a sync merge); the
    // stored row stays and the editor's text went to a new conflict copy.
    enum class SaveResult { Unchanged, Saved, Failed, Conflict };

    explicit NoteSession(AppState *state, QObject *parent = nullptr);

    // The note now shown and its body as loaded, the baseline for snapshots.
    void setNote(const QString &noteId, const QString &loadedBody);
    void clear();
    QString noteId() const { return m_noteId; }
    std::optional<Note> note() const;
    QString lastSnapshotContent() const { return m_lastSnapshotContent; }
    // The note's title, or "Untitled".
    QString displayTitle() const;

    // Stores body as a local edit when it differs from the stored body.
    SaveResult save(const QString &body);
    // The conflict copy the last Conflict save made.
    QString conflictCopyId() const { return m_conflictCopyId; }
    // Stores a version of body when it changed since the last one; true when stored.
    bool saveSnapshot(const QString &body, bool readOnly);
    // Stores a version of body whether or not it changed ("Save Snapshot"); true when stored.
    bool snapshotNow(const QString &body);

    // History without the user thinking of it: a version of the stored body
    // once an edit has been left alone for kAutoSnapshotPauseMs, or during a
    // long session once kAutoSnapshotLongestMs passed since the last version.
    static constexpr qint64 kAutoSnapshotPauseMs = 2 * 60 * 1000;
    static constexpr qint64 kAutoSnapshotLongestMs = 10 * 60 * 1000;
    // Milliseconds on a steady clock; tests pin it.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Stores the automatic version when one is due (the session's timer
    // calls it after every save); true when stored.
    bool takeAutoSnapshotIfDue();
    // The clipboard data for a copy: plainText as is, otherwise the stored
    // body (or fallbackBody without a stored note) converted. Caller owns it.
    QMimeData *copyAs(ExportFormat format, const QString &plainText, const QString &fallbackBody) const;
    bool moveToNotebook(const QString &notebookId);
    bool moveToTrash();

    // Prints body as it goes on paper (printableDocument): lists, check
    // boxes, alignment and pictures as the note shows them, in print colours.
    void print(const QString &body, QPrinter *printer) const;
    // Where print sends the document; tests look at it instead of a printer.
    using DocumentPrinter = std::function<void(const QTextDocument &document, QPrinter *printer)>;
    void setDocumentPrinter(DocumentPrinter printer) { m_printDocument = std::move(printer); }

private:
    QPointer<AppState> m_state;
    QString m_noteId;
    QString m_lastSnapshotContent;
    // The stored body this session last loaded or wrote.
    QString m_storedBody;
    QString m_conflictCopyId;
    DocumentPrinter m_printDocument;
    QElapsedTimer m_uptime;
    Clock m_clock;
    QTimer *m_autoSnapshotTimer = nullptr;
    qint64 m_lastEditAt = -1; // -1: nothing edited since the last version
    qint64 m_lastSnapshotAt = 0;
};
