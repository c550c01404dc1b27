#include "velmtest.h"

#include "appstate.h"
#include "database.h"
#include "notelistmodel.h"
#include "noterepository.h"
#include "notelistwidget.h"
#include "searchscreen.h"
#include "sharedscreen.h"
#include "trashscreen.h"
#include "uitestkit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>

using namespace VelmTest;

// The search, trash and shared screens.
class TestScreens : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AppState> m_state;
    Questions m_questions;

    QString trashed(const QString &text)
    {
        const QString id = addNote(*m_state, text).id;
        return m_state->notes()->softDelete(id) ? id : QString();
    }
    std::unique_ptr<TrashScreen> trashScreen()
    {
        auto screen = std::make_unique<TrashScreen>(m_state.get());
        screen->setAskYesNo(m_questions.hook());
        screen->refresh();
        return screen;
    }

private slots:
    void init()
    {
        m_state = emptyState();
        m_questions = {};
    }
    void cleanup() { m_state.reset(); }

    void quickTypingRunsOneSearchForTheLastText()
    {
        const Note match = addNote(*m_state, "abc meeting");
        addNote(*m_state, "unrelated");
        SearchScreen screen(m_state.get());
        QSignalSpy searched(&screen, &SearchScreen::searched);
        for (const char *text : {"a", "ab", "abc"})
            screen.searchField()->setText(text);
        QCOMPARE(searched.size(), 0);
        QVERIFY(searched.wait(2000));
        QCOMPARE(screen.noteList()->count(), 1);
        // Choosing a result makes it the current note.
        screen.noteList()->setCurrentRow(0);
        QCOMPARE(m_state->currentNoteId(), match.id);
        // A stray second run for "abc" would come before the next text's own.
        screen.searchField()->setText("abcd");
        QVERIFY(searched.wait(2000));
        QCOMPARE(searched, (QList<QVariantList>{{"abc"}, {"abcd"}}));
        // The repository answers blank text with every note; the list stays empty.
        screen.searchField()->setText("   ");
        QVERIFY(searched.wait(2000));
        QCOMPARE(screen.noteList()->count(), 0);
    }

    void trashButtonsFollowTheSelectionAndRestoreBringsBackPending()
    {
        auto screen = trashScreen();
        QVERIFY(!screen->emptyButton()->isEnabled());
        screen->emptyTrash();
        QVERIFY(m_questions.asked.isEmpty());
        const QString id = trashed("bring me back");
        screen->refresh();
        QVERIFY(screen->emptyButton()->isEnabled());
        QVERIFY(!screen->restoreButton()->isEnabled() && !screen->deleteButton()->isEnabled());
        screen->noteList()->selectNote(id);
        QVERIFY(screen->restoreButton()->isEnabled() && screen->deleteButton()->isEnabled());
        screen->restoreButton()->click();
        const Note note = *m_state->notes()->noteById(id);
        QVERIFY(!note.deletedAt);
        QCOMPARE(note.syncStatus, SyncStatus::Pending);
        QCOMPARE(screen->noteList()->count(), 0);
    }

    // A trash larger than one slice empties a slice per turn of the event
    // loop, says how far it got, and keeps a note restored on the way.
    void aLargeTrashEmptiesInSlicesAndKeepsWhatWasRestored()
    {
        const int count = 2 * TrashScreen::kFirstSlice + 1;
        QStringList ids;
        QVERIFY(m_state->database()->database().transaction());
        for (int i = 0; i < count; ++i)
            ids << addNote(*m_state, QStringLiteral("note %1").arg(i)).id;
        QVERIFY(m_state->database()->database().commit());
        QVERIFY(m_state->notes()->softDelete(ids));
        auto screen = trashScreen();
        m_questions.yes = true;
        screen->emptyButton()->click();
        QVERIFY(screen->isEmptying());
        QCOMPARE(m_state->notes()->trashCount(), count - TrashScreen::kFirstSlice);
        QVERIFY(!screen->progressLabel()->isHidden());
        QVERIFY2(screen->progressLabel()->text().contains(QStringLiteral("%1 of %2").arg(TrashScreen::kFirstSlice).arg(count)),
                 qPrintable(screen->progressLabel()->text()));
        QVERIFY(!screen->emptyButton()->isEnabled() && !screen->noteList()->isEnabled());
        QString kept;
        for (const QString &id : std::as_const(ids))
            if (m_state->notes()->noteById(id))
                kept = id;
        QVERIFY(m_state->notes()->restore(kept));
        QTRY_VERIFY(!screen->isEmptying());
        QCOMPARE(m_state->notes()->trashCount(), 0);
        QVERIFY(m_state->notes()->noteById(kept));
        QCOMPARE(m_state->notes()->allRows().size(), 1);
        QVERIFY(screen->progressLabel()->isHidden());
        QVERIFY(screen->noteList()->isEnabled());
        QCOMPARE(m_questions.asked.size(), 1);
    }

    void aTrashThatCannotBeEmptiedSaysSo()
    {
        for (const char *text : {"one", "two", "three"})
            trashed(text);
        QVERIFY(QSqlQuery(m_state->database()->database())
                    .exec("CREATE TRIGGER refuse BEFORE DELETE ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        auto screen = trashScreen();
        m_questions.yes = true;
        screen->emptyButton()->click();
        QVERIFY(!screen->isEmptying());
        QCOMPARE(m_state->notes()->trashCount(), 3);
        QVERIFY(!screen->progressLabel()->isHidden());
        QVERIFY2(screen->progressLabel()->text().contains("0 of 3"), qPrintable(screen->progressLabel()->text()));
        QVERIFY(screen->emptyButton()->isEnabled());
        QCOMPARE(screen->noteList()->count(), 3);
        QVERIFY(QSqlQuery(m_state->database()->database()).exec("DROP TRIGGER refuse"));
    }

    void deletingAndEmptyingAskAndOnlyYesPurges()
    {
        const QString live = addNote(*m_state, "stays").id;
        const QString doomed = trashed("doomed");
        for (const char *text : {"one", "two"})
            trashed(text);
        auto screen = trashScreen();
        screen->noteList()->selectNote(doomed);
        screen->deleteButton()->click();
        screen->emptyButton()->click();
        QCOMPARE(m_questions.asked.size(), 2);
        QCOMPARE(m_state->notes()->trashedNotes().size(), 3);

        m_questions.yes = true;
        screen->noteList()->selectNote(doomed);
        screen->deleteButton()->click();
        QVERIFY(!m_state->notes()->noteById(doomed));
        QCOMPARE(screen->noteList()->count(), 2);
        screen->emptyButton()->click();
        QVERIFY(m_state->notes()->trashedNotes().isEmpty());
        QVERIFY(m_state->notes()->noteById(live));
        QVERIFY(!screen->emptyButton()->isEnabled());
    }

    void sharedScreensListTheirOwnNotesAndFollowChanges()
    {
        SharedScreen byMe(m_state.get(), true);
        SharedScreen withMe(m_state.get(), false);
        for (SharedScreen *screen : {&byMe, &withMe})
            QVERIFY(!screen->emptyLabel()->isHidden() && screen->noteList()->isHidden());
        Note mine = makeNote(textDelta("my shared note"));
        mine.isShared = true;
        QVERIFY(m_state->notes()->insert(mine));
        Note theirs = makeNote(textDelta("from a colleague"));
        theirs.ownerId = "someone-else";
        theirs.permission = "view";
        QVERIFY(m_state->notes()->insert(theirs));
        QCOMPARE(byMe.noteList()->count(), 1);
        QVERIFY(byMe.emptyLabel()->isHidden());
        QCOMPARE(withMe.noteList()->count(), 1);
        QCOMPARE(withMe.noteList()->idAt(0), theirs.id);
        // Signed out, the sharer's name is unknown but the line still says the note was shared.
        QCOMPARE(withMe.noteList()->model()->index(0, 0).data(NoteListModel::SnippetRole).toString(),
                 QStringLiteral("Shared with you by another member"));
        withMe.noteList()->setCurrentRow(0);
        QCOMPARE(m_state->currentNoteId(), theirs.id);
        QVERIFY(m_state->notes()->softDelete(mine.id));
        QVERIFY(byMe.noteList()->isHidden() && !byMe.emptyLabel()->isHidden());
    }
};

VELM_TEST_MAIN(TestScreens)
#include "tst_screens.moc"
