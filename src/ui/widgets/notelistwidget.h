#pragma once

#include "note.h"

#include <QHash>
#include <QListWidget>

#include <functional>
#include <memory>

// MIME type of a dragged note; the payload is the note id in UTF-8.
inline constexpr char kNoteIdMimeType[] = "application/x-velmora-note-id";

// Title and preview of a row from a note body. A body without a first line
// is untitled: its preview moves up as the title ("Untitled" when there is
// none either) and the preview line stays empty.
struct NoteRowText
{
    QString title;
    QString preview;
    bool untitled = false;
};
NoteRowText noteRowText(const QString &body);

class LazyNoteRowText; // the row text of one body, made when first needed

// The list of notes: shows what it is given in the given order, one card per
// note (NoteListDelegate), and lets notes be dragged onto notebooks.
class NoteListWidget final : public QListWidget
{
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole,
        TitleRole,
        PreviewRole,
        UpdatedAtRole,
        NotebookNameRole,
        UntitledRole,
        SharedRole,
        SyncStatusRole,
    };
    using NotebookNameResolver = std::function<QString(const QString &notebookId)>;

    explicit NoteListWidget(QWidget *parent = nullptr);

    // Replaces the rows, keeping the current note current. Emits nothing.
    void setNotes(const QList<Note> &notes);
    // Makes the row of id current (emitting noteSelected); nothing when absent.
    void selectNote(const QString &id);
    QString selectedNoteId() const;
    void setNotebookNameResolver(NotebookNameResolver resolver);
    // The notes of the last setNotes, in the order given.
    const QList<Note> &notes() const { return m_notes; }

signals:
    void noteSelected(const QString &noteId);
    void noteDoubleClicked(const QString &noteId);
    void noteActivated(const QString &noteId);
    void noteDeleteRequested(const QString &noteId);
    void noteContextMenuRequested(const QString &noteId, const QPoint &globalPos);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QList<QListWidgetItem *> &items) const override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    // Title and preview per note id for the body they are made from, worked
    // out the first time a row is drawn or asked for: at start-up only the rows
    // in sight parse their bodies, and a refresh after one save re-reads one
    // body, not every note's.
    QHash<QString, std::shared_ptr<LazyNoteRowText>> m_textCache;
    QList<Note> m_notes;
    NotebookNameResolver m_resolver;
};
