#pragma once

#include "note.h"
#include "pulledpage.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class AccountBinding;
class Database;
class NotebookRepository;
class NoteRepository;
class PreferencesRepository;
class SyncCycle;
namespace VelmAccount {
class ApiClient;
}

// The note pull of a sync cycle: page after page from the stored cursor, each
// read on a worker and written here in slices, each slice one transaction;
// the cursor moves with a page's last slice only. No pending edit is replaced
// silently: edits on both sides are merged over their common base, or the
// local text is kept as a conflict copy. The phase ends with
// SyncCycle::phaseDone, or SyncCycle::failed when the server cannot be read.
class PullMerger final : public QObject
{
    Q_OBJECT
public:
    // Preference key of the note pull's cursor.
    static inline const QString kCursor = QStringLiteral("lastSyncTimestampMs");

    // None of the pointers is owned; all must outlive this.
    PullMerger(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes, NotebookRepository *notebooks,
               PreferencesRepository *preferences, AccountBinding *binding, SyncCycle *cycle);

    // A new cycle: nothing failed or left pending yet.
    void reset();
    void pull();
    // Forgets the page being written (a cancel); its cursor did not move.
    void clear();
    // A pulled row of this cycle could not be written.
    bool rowFailed() const { return m_rowFailed; }
    // Whether a merged body or a conflict copy written since the last call waits to be pushed.
    bool takeLeftPending() { return std::exchange(m_leftPending, false); }

signals:
    // Right before pulled notes are written.
    void aboutToMerge();
    // Notes whose stored text a merge replaced.
    void notesMerged(const QStringList &ids);

private:
    // The page being written, slice by slice.
    struct Merge
    {
        PulledPage page;
        QString since;
        qsizetype next = 0;
        bool written = true;
        int changed = 0;
        QStringList replaced;
    };

    void pullPage(const QString &since);
    // A page read on the worker, back on the GUI thread.
    void pulledPage(const PulledPage &page, const QString &since);
    // Writes the next slice of m_merge's rows; the last one moves the cursor.
    void mergeSlice();
    bool mergeRow(const PulledPage::Row &row, QStringList *replaced, int *changed);
    // local's pending edit and pulled's merged over their common base;
    // absent when there is no base or the two edits conflict.
    std::optional<Note> mergedNote(const Note &local, const Note &pulled) const;

    VelmAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    NotebookRepository *m_notebooks;
    PreferencesRepository *m_preferences;
    AccountBinding *m_binding;
    SyncCycle *m_cycle;
    Merge m_merge;
    bool m_rowFailed = false;
    bool m_leftPending = false;
};
