#include "velmtest.h"

#include "appstatefixture.h"
#include "notelistwidget.h"
#include "sharedscreen.h"

#include <QLabel>

using namespace VelmTest;

class TestSharedScreen : public QObject
{
    Q_OBJECT

private slots:
    void eachModeShowsItsLabelOrItsNotesAndFollowsChanges()
    {
        auto state = emptyState();
        SharedScreen byMe(state.get(), true);
        SharedScreen withMe(state.get(), false);
        QCOMPARE(byMe.emptyLabel()->text(), QStringLiteral("You haven't shared any notes yet."));
        QCOMPARE(withMe.emptyLabel()->text(), QStringLiteral("No notes have been shared with you yet."));
        for (SharedScreen *screen : {&byMe, &withMe}) {
            QVERIFY(!screen->emptyLabel()->isHidden());
            QVERIFY(screen->noteList()->isHidden());
        }

        Note mine = makeNote(textDelta("my shared note"));
        mine.isShared = true;
        QVERIFY(state->notes()->insert(mine));
        QCOMPARE(byMe.noteList()->count(), 1);
        QVERIFY(!byMe.noteList()->isHidden());
        QVERIFY(byMe.emptyLabel()->isHidden());
        QVERIFY(withMe.noteList()->isHidden());

        Note theirs = makeNote(textDelta("from a colleague"));
        theirs.ownerId = "someone-else";
        theirs.permission = "view";
        QVERIFY(state->notes()->insert(theirs));
        QCOMPARE(withMe.noteList()->count(), 1);
        QCOMPARE(withMe.noteList()->idAt(0), theirs.id);
        QCOMPARE(byMe.noteList()->count(), 1);
        withMe.noteList()->setCurrentRow(0);
        QCOMPARE(state->currentNoteId(), theirs.id);

        QVERIFY(state->notes()->softDelete(mine.id));
        QVERIFY(byMe.noteList()->isHidden());
        QVERIFY(!byMe.emptyLabel()->isHidden());
    }
};

VELM_TEST_MAIN(TestSharedScreen)
#include "tst_sharedscreen.moc"
