#include "velmtest.h"

#include "appstatefixture.h"
#include "notelistwidget.h"
#include "trashscreen.h"

#include <QPushButton>

using namespace VelmTest;

class TestTrashScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<TrashScreen> m_screen;
    QStringList m_questions;
    bool m_yes = false;

    QString trashed(const QString &text)
    {
        const QString id = addNote(*m_state, text).id;
        return m_state->notes()->softDelete(id) ? id : QString();
    }

private slots:
    void init()
    {
        m_state = emptyState();
        m_screen = std::make_unique<TrashScreen>(m_state.get());
        m_screen->setAskYesNo([this](QWidget *, const QString &title, const QString &text) {
            m_questions << title + '|' + text;
            return m_yes;
        });
        m_questions.clear();
        m_yes = false;
    }
    void cleanup()
    {
        m_screen.reset();
        m_state.reset();
    }

    void buttonsFollowTheTrashAndTheSelection()
    {
        QVERIFY(!m_screen->emptyButton()->isEnabled());
        QVERIFY(!m_screen->restoreButton()->isEnabled());
        m_screen->emptyTrash();
        QVERIFY(m_questions.isEmpty());

        trashed("gone");
        m_screen->refresh();
        QVERIFY(m_screen->emptyButton()->isEnabled());
        QVERIFY(!m_screen->restoreButton()->isEnabled());
        QVERIFY(!m_screen->deleteButton()->isEnabled());
        m_screen->noteList()->setCurrentRow(0);
        QVERIFY(m_screen->restoreButton()->isEnabled());
        QVERIFY(m_screen->deleteButton()->isEnabled());
    }

    void restoreBringsTheNoteBackPending()
    {
        const QString id = trashed("bring me back");
        m_screen->refresh();
        m_screen->noteList()->selectNote(id);
        m_screen->restoreButton()->click();
        const Note note = *m_state->notes()->noteById(id);
        QVERIFY(!note.deletedAt);
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QCOMPARE(m_screen->noteList()->count(), 0);
        QVERIFY(!m_screen->emptyButton()->isEnabled());
    }

    void deletePermanentlyAsksAndOnlyYesPurges()
    {
        const QString id = trashed("doomed");
        m_screen->refresh();
        m_screen->noteList()->selectNote(id);
        m_screen->deleteButton()->click();
        QCOMPARE(m_questions,
                 QStringList({"Delete Permanently|This note will be permanently deleted. This cannot be undone."}));
        QVERIFY(m_state->notes()->noteById(id));

        m_yes = true;
        m_screen->noteList()->selectNote(id);
        m_screen->deleteButton()->click();
        QVERIFY(!m_state->notes()->noteById(id));
        QCOMPARE(m_screen->noteList()->count(), 0);
    }

    void emptyTrashCountsAndPurgesEveryNote()
    {
        const QString live = addNote(*m_state, "stays").id;
        for (const char *text : {"one", "two", "three"})
            trashed(text);
        m_screen->refresh();
        m_screen->emptyButton()->click();
        QCOMPARE(m_questions,
                 QStringList({"Empty Trash|Permanently delete all 3 notes in trash? This cannot be undone."}));
        QCOMPARE(m_state->notes()->trashedNotes().size(), 3);

        m_yes = true;
        m_screen->emptyButton()->click();
        QVERIFY(m_state->notes()->trashedNotes().isEmpty());
        QVERIFY(m_state->notes()->noteById(live));
        QCOMPARE(m_screen->noteList()->count(), 0);
        QVERIFY(!m_screen->emptyButton()->isEnabled());
    }
};

VELM_TEST_MAIN(TestTrashScreen)
#include "tst_trashscreen.moc"
