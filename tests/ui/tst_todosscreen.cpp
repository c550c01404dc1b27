#include "notewindowregistry.h"
#include "velmtest.h"

#include "appstatefixture.h"
#include "notewindows.h"
#include "todorules.h"
#include "todosscreen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace VelmTest;

namespace {

const QString kChecklistBody = QStringLiteral(
    R"([{"insert":"Shopping\nBuy MILK today"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
    R"({"insert":"Bread"},{"insert":"\n","attributes":{"list":"checked"}}])");

QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList taskTexts(const QList<Task> &tasks)
{
    QStringList texts;
    for (const Task &task : tasks)
        texts << task.text;
    return texts;
}

} // namespace

class TestTodosScreen : public QObject
{
    Q_OBJECT

private slots:
    // ---- rules

    void filterTrimsIgnoresCaseAndHidesCompleted_data()
    {
        QTest::addColumn<bool>("showCompleted");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("tasks");
        QTest::newRow("trimmed") << false << "  milk  " << QStringList{"Buy MILK today"};
        QTest::newRow("any case") << false << "MiLk" << QStringList{"Buy MILK today"};
        QTest::newRow("completed hidden") << false << "bread" << QStringList{};
        QTest::newRow("completed shown") << true << "bread" << QStringList{"Bread"};
        QTest::newRow("blank filters nothing") << true << "   " << QStringList{"Buy MILK today", "Bread"};
    }
    void filterTrimsIgnoresCaseAndHidesCompleted()
    {
        QFETCH(bool, showCompleted);
        QFETCH(QString, filter);
        QFETCH(QStringList, tasks);
        const QList<Note> notes{makeNote(kChecklistBody)};
        QCOMPARE(taskTexts(visibleTasks(notes, showCompleted, filter, TodoSort::NoteUpdated)), tasks);
    }

    void sortsByTextOrByNewestNote()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QList<Note> notes{makeNote(textDelta("TODO: zebra\nTODO: apple"), now.addDays(-2)),
                                makeNote(textDelta("TODO: Mango"), now)};
        QCOMPARE(taskTexts(visibleTasks(notes, true, QString(), TodoSort::Alphabetical)),
                 QStringList({"apple", "Mango", "zebra"}));
        QCOMPARE(taskTexts(visibleTasks(notes, true, QString(), TodoSort::NoteUpdated)).first(), "Mango");
    }

    void tasksOfOneNoteKeepTheirOrder()
    {
        // More tasks than an unstable sort keeps in place by chance.
        QStringList lines;
        for (int i = 1; i <= 24; ++i)
            lines << QStringLiteral("TODO: task %1").arg(i, 2, 10, QLatin1Char('0'));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QList<Note> notes{makeNote(textDelta(lines.join('\n')), now.addDays(-1)),
                                makeNote(textDelta("TODO: newer"), now)};
        QStringList expected = lines.replaceInStrings("TODO: ", "");
        expected.prepend("newer");
        QCOMPARE(taskTexts(visibleTasks(notes, true, QString(), TodoSort::NoteUpdated)), expected);

        // The screen, refreshed after another note changed, shows the same order.
        const auto state = emptyState();
        for (const Note &note : notes)
            QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.refresh();
        Note newer = notes.last();
        newer.body = textDelta("TODO: newer still");
        QVERIFY(state->notes()->update(newer));
        screen.refresh();
        expected.first() = "newer still";
        QCOMPARE(rowTexts(screen.list()).replaceInStrings(QRegularExpression("  — .*"), ""), expected);
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
        QVERIFY(extractTasks(note.id, ticked->body, now).at(0).isCompleted);
        // Already in that state, or not a check-list line: nothing to write.
        QVERIFY(!noteWithTaskCompleted(note, 2, true, now));
        QVERIFY(!noteWithTaskCompleted(note, 0, true, now));
    }

    // ---- screen

    void tickingWritesTheNoteAndTheRowLeavesAfterRefresh()
    {
        auto state = emptyState();
        const Note note = makeNote(kChecklistBody);
        QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.show();
        screen.refresh();
        QCOMPARE(rowTexts(screen.list()), QStringList({"Buy MILK today  — Shopping"}));

        QSignalSpy external(state.get(), &AppState::noteUpdatedExternally);
        screen.list()->item(0)->setCheckState(Qt::Checked);
        const Note stored = *state->notes()->noteById(note.id);
        QCOMPARE(stored.version, note.version + 1);
        QCOMPARE(stored.syncStatus, SyncStatus::Pending);
        QVERIFY(extractTasks(note.id, stored.body, stored.updatedAt).at(0).isCompleted);
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.first().at(1).value<QObject *>(), &screen);
        QTRY_COMPARE(screen.list()->count(), 0);

        screen.showCompletedBox()->setChecked(true);
        QCOMPARE(screen.list()->count(), 2);
        const QListWidgetItem *bread = screen.list()->findItems("Bread", Qt::MatchStartsWith).value(0);
        QVERIFY(bread && bread->checkState() == Qt::Checked && bread->font().strikeOut());
    }

    void tickingOtherKindsSnapsBackAndWritesNothing()
    {
        auto state = emptyState();
        const Note note = addNote(*state, "Plans\n- [ ] call bob\nTODO: write report");
        TodosScreen screen(state.get());
        screen.show();
        screen.refresh();
        QCOMPARE(screen.list()->count(), 2);
        for (int i = 0; i < 2; ++i) {
            QListWidgetItem *item = screen.list()->item(i);
            item->setCheckState(Qt::Checked);
            QCOMPARE(item->checkState(), Qt::Unchecked);
        }
        QCOMPARE(*state->notes()->noteById(note.id), note);
    }

    void filterFieldAndUntitledNotes()
    {
        auto state = emptyState();
        QVERIFY(state->notes()->insert(makeNote(kChecklistBody)));
        // First line empty: no title, so no suffix.
        QVERIFY(state->notes()->insert(
            makeNote(R"([{"insert":"\nfetch milk"},{"insert":"\n","attributes":{"list":"unchecked"}}])")));
        TodosScreen screen(state.get());
        screen.sortBox()->setCurrentIndex(screen.sortBox()->findData("alpha"));
        screen.filterField()->setText("  MILK ");
        QCOMPARE(rowTexts(screen.list()), QStringList({"Buy MILK today  — Shopping", "fetch milk"}));
    }

    void doubleClickOpensTheNoteInItsWindow()
    {
        auto state = emptyState();
        installNoteWindowFactory(state.get());
        const Note note = makeNote(kChecklistBody);
        QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.refresh();
        emit screen.list()->itemDoubleClicked(screen.list()->item(0));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({note.id}));
    }

    // Each refresh shows the notes as they are now: a body edited, a note only
    // touched (newer, so first), a note trashed, a note added.
    void refreshReadsEveryChangedNoteAgain()
    {
        auto state = emptyState();
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
        Note older = makeNote(textDelta("Garden\nTODO: weed"), base);
        Note newer = makeNote(textDelta("Chores\nTODO: sweep"), base.addSecs(60));
        const Note gone = makeNote(textDelta("Old\nTODO: forget"), base.addSecs(30));
        for (const Note &note : {older, newer, gone})
            QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.refresh();
        QCOMPARE(rowTexts(screen.list()),
                 QStringList({"sweep  — Chores", "forget  — Old", "weed  — Garden"}));

        newer.body = textDelta("House\nTODO: sweep\nTODO: dust");
        QVERIFY(state->notes()->update(newer));
        older.updatedAt = base.addSecs(120);
        QVERIFY(state->notes()->update(older));
        QVERIFY(state->notes()->softDelete(gone.id));
        addNote(*state, "Later\nTODO: fresh");
        screen.refresh();
        QCOMPARE(rowTexts(screen.list()),
                 QStringList({"fresh  — Later", "weed  — Garden", "sweep  — House", "dust  — House"}));
    }

    void hiddenScreenDoesNotFollowChanges()
    {
        auto state = emptyState();
        TodosScreen screen(state.get());
        screen.refresh();
        QVERIFY(state->notes()->insert(makeNote(kChecklistBody)));
        QCoreApplication::processEvents();
        QCOMPARE(screen.list()->count(), 0);
        screen.show();
        addNote(*state, "TODO: more");
        QTRY_COMPARE(screen.list()->count(), 2);
    }
};

VELM_TEST_MAIN(TestTodosScreen)
#include "tst_todosscreen.moc"
