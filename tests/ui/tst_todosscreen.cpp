#include "velmtest.h"

#include "appstate.h"
#include "noterepository.h"
#include "notewindows.h"
#include "todorules.h"
#include "todosscreen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QUuid>

namespace {

const QString kChecklistBody = QStringLiteral(
    R"([{"insert":"Shopping\nBuy MILK today"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
    R"({"insert":"Bread"},{"insert":"\n","attributes":{"list":"checked"}}])");

Note makeNote(const QString &body, const QDateTime &updatedAt = QDateTime::currentDateTimeUtc())
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = updatedAt;
    note.updatedAt = updatedAt;
    note.modifiedAt = updatedAt;
    note.syncStatus = SyncStatus::Synced;
    return note;
}

void removeAllNotes(AppState &state)
{
    for (const Note &note : state.notes()->allNotes())
        QVERIFY(state.notes()->purge(note.id));
}

QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QListWidgetItem *rowStartingWith(const QListWidget *list, const QString &prefix)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().startsWith(prefix))
            return list->item(i);
    }
    return nullptr;
}

} // namespace

class TestTodosScreen : public QObject
{
    Q_OBJECT

private slots:
    // ---- rules

    void filterTrimsIgnoresCaseAndHidesCompleted()
    {
        const QList<Note> notes{makeNote(kChecklistBody)};
        QList<Task> tasks = visibleTasks(notes, false, QStringLiteral("  milk  "), TodoSort::NoteUpdated);
        QCOMPARE(tasks.size(), 1);
        QCOMPARE(tasks.first().text, QStringLiteral("Buy MILK today"));

        tasks = visibleTasks(notes, false, QStringLiteral("MiLk"), TodoSort::NoteUpdated);
        QCOMPARE(tasks.size(), 1);
        QVERIFY(visibleTasks(notes, false, QStringLiteral("bread"), TodoSort::NoteUpdated).isEmpty());
        QCOMPARE(visibleTasks(notes, true, QStringLiteral("bread"), TodoSort::NoteUpdated).size(), 1);
        // A blank filter filters nothing.
        QCOMPARE(visibleTasks(notes, true, QStringLiteral("   "), TodoSort::NoteUpdated).size(), 2);
    }

    void sortsByTextOrByNewestNote()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QList<Note> notes{
            makeNote(QStringLiteral(R"([{"insert":"TODO: zebra\nTODO: apple\n"}])"), now.addDays(-2)),
            makeNote(QStringLiteral(R"([{"insert":"TODO: Mango\n"}])"), now),
        };
        QStringList texts;
        for (const Task &task : visibleTasks(notes, true, QString(), TodoSort::Alphabetical))
            texts << task.text;
        QCOMPARE(texts, QStringList({"apple", "Mango", "zebra"}));

        const QList<Task> byDate = visibleTasks(notes, true, QString(), TodoSort::NoteUpdated);
        QCOMPARE(byDate.size(), 3);
        QCOMPARE(byDate.first().text, QStringLiteral("Mango"));
    }

    void rowTextAddsTheTitleOnlyWhenThereIsOne()
    {
        QCOMPARE(todoRowText("Call Bob", "Work"), QStringLiteral("Call Bob  — Work"));
        QCOMPARE(todoRowText("Call Bob", QString()), QStringLiteral("Call Bob"));
    }

    void tickingRewritesOnlyCheckListLines()
    {
        const Note note = makeNote(kChecklistBody);
        const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(60);
        const std::optional<Note> ticked = noteWithTaskCompleted(note, 1, true, now);
        QVERIFY(ticked);
        QCOMPARE(ticked->version, note.version + 1);
        QCOMPARE(ticked->syncStatus, SyncStatus::Pending);
        QCOMPARE(ticked->updatedAt, now);
        QCOMPARE(ticked->modifiedAt, now);
        QVERIFY(extractTasks(note.id, ticked->body, now).at(0).isCompleted);
        // Already in that state, or not a check-list line: nothing to write.
        QVERIFY(!noteWithTaskCompleted(note, 2, true, now));
        QVERIFY(!noteWithTaskCompleted(note, 0, true, now));
    }

    // ---- screen

    void tickingWritesTheNoteAndTheRowLeavesAfterRefresh()
    {
        AppState state;
        QVERIFY(state.initialize());
        removeAllNotes(state);
        const Note note = makeNote(kChecklistBody);
        QVERIFY(state.notes()->insert(note));

        TodosScreen screen(&state);
        screen.show();
        screen.refresh();
        QCOMPARE(rowTexts(screen.list()), QStringList({"Buy MILK today  — Shopping"}));

        QSignalSpy external(&state, &AppState::noteUpdatedExternally);
        screen.list()->item(0)->setCheckState(Qt::Checked);

        const std::optional<Note> stored = state.notes()->noteById(note.id);
        QVERIFY(stored);
        QCOMPARE(stored->version, note.version + 1);
        QCOMPARE(stored->syncStatus, SyncStatus::Pending);
        QVERIFY(extractTasks(note.id, stored->body, stored->updatedAt).at(0).isCompleted);
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.first().at(0).toString(), note.id);
        QCOMPARE(external.first().at(1).value<QObject *>(), &screen);
        QTRY_COMPARE(screen.list()->count(), 0);

        screen.showCompletedBox()->setChecked(true);
        QCOMPARE(screen.list()->count(), 2);
        QListWidgetItem *bread = rowStartingWith(screen.list(), "Bread");
        QVERIFY(bread);
        QCOMPARE(bread->checkState(), Qt::Checked);
        QVERIFY(bread->font().strikeOut());
    }

    void tickingOtherKindsSnapsBackAndWritesNothing()
    {
        AppState state;
        QVERIFY(state.initialize());
        removeAllNotes(state);
        const Note note = makeNote(QStringLiteral(R"([{"insert":"Plans\n- [ ] call bob\nTODO: write report\n"}])"));
        QVERIFY(state.notes()->insert(note));

        TodosScreen screen(&state);
        screen.show();
        screen.refresh();
        QCOMPARE(screen.list()->count(), 2);
        for (int i = 0; i < 2; ++i) {
            QListWidgetItem *item = screen.list()->item(i);
            QVERIFY(!(item->flags() & Qt::ItemIsUserCheckable));
            item->setCheckState(Qt::Checked);
            QCOMPARE(item->checkState(), Qt::Unchecked);
        }
        QCOMPARE(*state.notes()->noteById(note.id), note);
    }

    void filterFieldAndUntitledNotes()
    {
        AppState state;
        QVERIFY(state.initialize());
        removeAllNotes(state);
        QVERIFY(state.notes()->insert(makeNote(kChecklistBody)));
        // First line empty: no title.
        QVERIFY(state.notes()->insert(makeNote(
            QStringLiteral(R"([{"insert":"\nfetch milk"},{"insert":"\n","attributes":{"list":"unchecked"}}])"))));

        TodosScreen screen(&state);
        screen.filterField()->setText(QStringLiteral("  MILK "));
        QStringList rows = rowTexts(screen.list());
        rows.sort();
        QCOMPARE(rows, QStringList({"Buy MILK today  — Shopping", "fetch milk"}));

        screen.sortBox()->setCurrentIndex(screen.sortBox()->findData("alpha"));
        QCOMPARE(rowTexts(screen.list()), QStringList({"Buy MILK today  — Shopping", "fetch milk"}));
    }

    void doubleClickOpensTheNoteInItsWindow()
    {
        AppState state;
        QVERIFY(state.initialize());
        installNoteWindowFactory(&state);
        removeAllNotes(state);
        const Note note = makeNote(kChecklistBody);
        QVERIFY(state.notes()->insert(note));
        TodosScreen screen(&state);
        screen.refresh();
        emit screen.list()->itemDoubleClicked(screen.list()->item(0));
        QCOMPARE(state.openNoteWindowIds(), QStringList({note.id}));
        QVERIFY(state.noteWindow(note.id)->isVisible());
    }

    void hiddenScreenDoesNotFollowChanges()
    {
        AppState state;
        QVERIFY(state.initialize());
        removeAllNotes(state);
        TodosScreen screen(&state);
        screen.refresh();
        QVERIFY(state.notes()->insert(makeNote(kChecklistBody)));
        QCoreApplication::processEvents();
        QCOMPARE(screen.list()->count(), 0);
        screen.show();
        QVERIFY(state.notes()->insert(makeNote(QStringLiteral(R"([{"insert":"TODO: more\n"}])"))));
        QTRY_COMPARE(screen.list()->count(), 2);
    }
};

VELM_TEST_MAIN(TestTodosScreen)
#include "tst_todosscreen.moc"
