#include "listfeed.h"

#include "appstate.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "statusbar.h"
#include "syncengine.h"

#include <QLineEdit>
#include <QTimer>

ListFeed::ListFeed(AppState *state, NoteListWidget *notes, NotebookListWidget *notebooks, QLineEdit *search,
                   StatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_search(search)
    , m_statusBar(statusBar)
{
    notes->setNotebookNameResolver([this](const QString &id) { return m_notebookNames.value(id); });
    notes->noteModel()->setRowReader([this](const QString &id) {
        return m_state ? m_state->notes()->rowById(id) : std::nullopt;
    });
    auto *searchTimer = new QTimer(this);
    searchTimer->setObjectName(QStringLiteral("searchTimer"));
    searchTimer->setSingleShot(true);
    searchTimer->setInterval(300);
    connect(search, &QLineEdit::textChanged, searchTimer, qOverload<>(&QTimer::start));
    connect(searchTimer, &QTimer::timeout, this, &ListFeed::refreshNotes);
    // Rows of notes the server refused carry a mark until they change.
    if (SyncEngine *engine = state->syncEngine()) {
        const auto showRefused = [notes, engine] { notes->noteModel()->setRefusedNotes(engine->refusedNotes()); };
        showRefused();
        connect(engine, &SyncEngine::syncCompleted, notes, showRefused);
    }
}

QString ListFeed::notebookTitle(const QString &notebookId) const
{
    return notebookId.isEmpty() ? tr("All Notes") : m_notebookNames.value(notebookId);
}

void ListFeed::refreshNotes()
{
    if (!m_state)
        return;
    m_notebookNames.clear();
    for (const Notebook &notebook : m_state->notebooks()->allNotebooks())
        m_notebookNames.insert(notebook.id, notebook.name);

    const QString text = m_search->text().trimmed();
    const QString notebookId = m_state->currentNotebookId();
    NoteRepository *notes = m_state->notes();
    int count = 0;
    if (text.isEmpty()) {
        // The first page now, the rest as the list scrolls.
        const bool steno = m_state->preferences() && m_state->preferences()->getBool(QStringLiteral("steno_mode"), false);
        const auto page = [notes, notebookId, steno](const QList<NoteRow> &loaded, int limit) {
            return notes->rowsPage(notebookId, steno,
                                   loaded.isEmpty() ? std::nullopt : std::optional<NoteRow>(loaded.last()), limit);
        };
        m_notes->setRows(page({}, NoteListModel::kPageSize),
                         steno ? NoteListModel::Order::OldestUpdateFirst : NoteListModel::Order::NewestUpdateFirst,
                         [notebookId](const NoteRow &row) {
                             return !row.deletedAt.isValid() && (notebookId.isEmpty() || row.notebookId == notebookId);
                         },
                         page);
        count = notes->liveCount(notebookId);
    } else {
        m_notes->setRows(notes->search().rows(text, NoteListModel::kPageSize), NoteListModel::Order::Ranked, {},
                         [notes, text](const QList<NoteRow> &loaded, int limit) {
                             return notes->search().rows(text, limit, int(loaded.size()));
                         });
        count = notes->search().count(text);
    }

    m_statusBar->setNotebookInfo(notebookTitle(notebookId), count);
    m_notes->setEmptyText(!text.isEmpty()        ? tr("No notes match \u201C%1\u201D.").arg(text)
                          : notebookId.isEmpty() ? tr("No notes yet.\n\nPress Ctrl+N to write your first note.")
                                                 : tr("This notebook is empty.\n\nPress Ctrl+N to write a note "
                                                      "in it, or drag notes here from another notebook."));
}

void ListFeed::notesWritten(const QStringList &ids)
{
    NoteListModel *model = m_notes->noteModel();
    bool reload = false;
    bool countsChanged = false;
    {
        // A row that leaves the list must not pick another note for the editor.
        const QSignalBlocker blocker(m_notes);
        const QString currentId = m_notes->selectedNoteId();
        for (const QString &id : ids) {
            const std::optional<NoteRow> row = m_state->notes()->rowById(id);
            const int at = model->rowOf(id);
            countsChanged = countsChanged || at < 0 || !row || row->deletedAt.isValid()
                || row->notebookId != model->rowAt(at).notebookId;
            reload = !model->applyWrite(id, row) || reload;
        }
        if (!currentId.isEmpty() && model->rowOf(currentId) < 0)
            m_notes->setCurrentIndex(QModelIndex());
    }
    if (reload) {
        refreshNotes();
    } else if (countsChanged) {
        // The list holds only the pages read so far: the count comes from the database.
        const QString notebookId = m_state->currentNotebookId();
        m_statusBar->setNotebookInfo(notebookTitle(notebookId), m_state->notes()->liveCount(notebookId));
    }
    if (countsChanged)
        refreshNotebooks();
}

void ListFeed::refreshNotebooks()
{
    if (!m_state)
        return;
    m_notebooks->setNotebooks(m_state->notebooks()->allNotebooks(), m_state->notes()->countsByNotebook(),
                              m_state->currentNotebookId(), m_state->notes()->trashCount());
}
