#include "velmtest.h"

#include "appstate.h"
#include "noterepository.h"
#include "notelistwidget.h"
#include "sharedscreen.h"

#include <QLabel>
#include <QUuid>

namespace {

Note makeNote(const QString &text)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

} // namespace

class TestSharedScreen : public QObject
{
    Q_OBJECT

private slots:
    void emptyStateLabelsInsteadOfEmptyLists()
    {
        AppState state;
        QVERIFY(state.initialize());
        SharedScreen byMe(&state, true);
        SharedScreen withMe(&state, false);
        QCOMPARE(byMe.emptyLabel()->text(), QStringLiteral("You haven't shared any notes yet."));
        QCOMPARE(withMe.emptyLabel()->text(), QStringLiteral("No notes have been shared with you yet."));
        for (SharedScreen *screen : {&byMe, &withMe}) {
            QVERIFY(!screen->emptyLabel()->isHidden());
            QVERIFY(!screen->emptyLabel()->isEnabled());
            QCOMPARE(screen->emptyLabel()->alignment(), Qt::AlignCenter);
            QVERIFY(screen->noteList()->isHidden());
        }
    }

    void eachModeListsItsNotesAndFollowsChanges()
    {
        AppState state;
        QVERIFY(state.initialize());
        SharedScreen byMe(&state, true);
        SharedScreen withMe(&state, false);

        Note mine = makeNote(QStringLiteral("my shared note"));
        mine.isShared = true;
        QVERIFY(state.notes()->insert(mine));
        QCOMPARE(byMe.noteList()->count(), 1);
        QVERIFY(!byMe.noteList()->isHidden());
        QVERIFY(byMe.emptyLabel()->isHidden());
        QVERIFY(withMe.noteList()->isHidden());

        Note theirs = makeNote(QStringLiteral("from a colleague"));
        theirs.ownerId = QStringLiteral("someone-else");
        theirs.permission = QStringLiteral("view");
        QVERIFY(state.notes()->insert(theirs));
        QCOMPARE(withMe.noteList()->count(), 1);
        QCOMPARE(withMe.noteList()->item(0)->data(NoteListWidget::IdRole).toString(), theirs.id);
        QCOMPARE(byMe.noteList()->count(), 1);

        withMe.noteList()->setCurrentRow(0);
        QCOMPARE(state.currentNoteId(), theirs.id);

        QVERIFY(state.notes()->softDelete(mine.id));
        QVERIFY(byMe.noteList()->isHidden());
        QVERIFY(!byMe.emptyLabel()->isHidden());
    }
};

VELM_TEST_MAIN(TestSharedScreen)
#include "tst_sharedscreen.moc"
