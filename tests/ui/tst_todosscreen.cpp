#include "notewindowregistry.h"
#include "velmtest.h"

#include "appstatefixture.h"
#include "database.h"
#include "notewindows.h"
#include "todorules.h"
#include "todolistmodel.h"
#include "tasks.h"
#include "todosscreen.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace VelmTest;

namespace {

const QString kChecklistBody = QStringLiteral(
    R"([{"insert":"Shopping\nBuy MILK today"},{"insert":"\n","attributes":{"list":"unchecked"}},)"
    R"({"insert":"Bread"},{"insert":"\n","attributes":{"list":"checked"}}])");

QStringList rowTexts(const QAbstractItemModel *model)
{
    QStringList texts;
    for (int i = 0; i < model->rowCount(); ++i)
        texts << model->index(i, 0).data().toString();
    return texts;
}

// The row texts without the note titles.
QStringList taskTexts(const QAbstractItemModel *model)
{
    return rowTexts(model).replaceInStrings(QRegularExpression("  — .*"), "");
}

} // namespace

class TestTodosScreen : public QObject
{
    Q_OBJECT

private slots:
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
        auto state = emptyState();
        QVERIFY(state->notes()->insert(makeNote(kChecklistBody)));
        TodosScreen screen(state.get());
        screen.refresh();
        screen.showCompletedBox()->setChecked(showCompleted);
        screen.filterField()->setText(filter);
        QCOMPARE(taskTexts(screen.model()), tasks);
    }

    void sortsByTextOrByNewestNote()
    {
        auto state = emptyState();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QVERIFY(state->notes()->insert(makeNote(textDelta("TODO: zebra\nTODO: apple"), now.addDays(-2))));
        QVERIFY(state->notes()->insert(makeNote(textDelta("TODO: Mango"), now)));
        TodosScreen screen(state.get());
        screen.refresh();
        QCOMPARE(taskTexts(screen.model()), QStringList({"Mango", "zebra", "apple"}));
        screen.sortBox()->setCurrentIndex(screen.sortBox()->findData("alpha"));
        QCOMPARE(taskTexts(screen.model()), QStringList({"apple", "Mango", "zebra"}));
    }

    // More rows than a page, open and ticked in turn: the pages merge both
    // in line order and end with the last task.
    void pagesMergeOpenAndTickedTasksInLineOrder()
    {
        auto state = emptyState();
        QStringList lines;
        QJsonArray ops;
        for (int i = 0; i < 300; ++i) {
            lines << QStringLiteral("task %1").arg(i, 3, 10, QLatin1Char('0'));
            ops.append(QJsonObject{{"insert", lines.last()}});
            ops.append(QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"list", i % 2 ? "checked" : "unchecked"}}}});
        }
        QVERIFY(state->notes()->insert(makeNote(QJsonDocument(ops).toJson(QJsonDocument::Compact))));
        TodosScreen screen(state.get());
        screen.showCompletedBox()->setChecked(true);
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), TodoListModel::kPageSize);
        // The tester fetches more itself, so it comes after the first page is checked.
        QAbstractItemModelTester tester(screen.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        while (screen.model()->canFetchMore({}))
            screen.model()->fetchMore({});
        QCOMPARE(taskTexts(screen.model()), lines);
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

    void tickingWritesTheNoteAndTheRowFollowsAndDoubleClickOpensIt()
    {
        auto state = emptyState();
        installNoteWindowFactory(state.get());
        const Note note = makeNote(kChecklistBody);
        QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.show();
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 1);
        emit screen.list()->doubleClicked(screen.model()->index(0));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({note.id}));

        QSignalSpy external(state.get(), &AppState::noteUpdatedExternally);
        screen.model()->setData(screen.model()->index(0), Qt::Checked, Qt::CheckStateRole);
        QTRY_COMPARE(screen.model()->rowCount(), 0);
        const Note stored = *state->notes()->noteById(note.id);
        QVERIFY(extractTasks(note.id, stored.body, stored.updatedAt).at(0).isCompleted);
        QCOMPARE(external.size(), 1);
        screen.showCompletedBox()->setChecked(true);
        QVERIFY(screen.model()->index(1).data(Qt::CheckStateRole) == Qt::Checked);
    }

    void otherKindsOfTaskCannotBeTicked()
    {
        auto state = emptyState();
        const Note note = addNote(*state, "Plans\n- [ ] call bob\nTODO: write report");
        TodosScreen screen(state.get());
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const QModelIndex index = screen.model()->index(i);
            QVERIFY(!(index.flags() & Qt::ItemIsUserCheckable));
            QVERIFY(!screen.model()->setData(index, Qt::Checked, Qt::CheckStateRole));
        }
        QCoreApplication::processEvents();
        QCOMPARE(*state->notes()->noteById(note.id), note);
    }

    // Each single write moves the rows of its note alone, in either order,
    // with no reset: a body edited, a note only touched (newer, so first), a
    // note trashed and restored, a note added, a note purged.
    void rowsFollowEachWriteWithoutAReset_data()
    {
        QTest::addColumn<bool>("alphabetical");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("note updated") << false
                                      << QStringList{"fresh  — Later", "weed  — Garden", "sweep  — House",
                                                     "dust  — House"};
        QTest::newRow("alphabetical") << true
                                      << QStringList{"dust  — House", "fresh  — Later", "sweep  — House",
                                                     "weed  — Garden"};
    }
    void rowsFollowEachWriteWithoutAReset()
    {
        QFETCH(bool, alphabetical);
        auto state = emptyState();
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
        Note older = makeNote(textDelta("Garden\nTODO: weed"), base);
        Note newer = makeNote(textDelta("Chores\nTODO: sweep"), base.addSecs(60));
        const Note gone = makeNote(textDelta("Old\nTODO: forget"), base.addSecs(30));
        for (const Note &note : {older, newer, gone})
            QVERIFY(state->notes()->insert(note));
        TodosScreen screen(state.get());
        screen.refresh();
        if (alphabetical)
            screen.sortBox()->setCurrentIndex(screen.sortBox()->findData("alpha"));
        QAbstractItemModelTester tester(screen.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(screen.model(), &QAbstractItemModel::modelReset);

        newer.body = textDelta("House\nTODO: sweep\nTODO: dust");
        QVERIFY(state->notes()->update(newer));
        older.updatedAt = base.addSecs(120);
        QVERIFY(state->notes()->update(older));
        QVERIFY(state->notes()->softDelete(gone.id));
        addNote(*state, "Later\nTODO: fresh");
        QVERIFY(state->notes()->restore(gone.id));
        QVERIFY(state->notes()->softDelete(gone.id));
        QVERIFY(state->notes()->purge(gone.id));
        QTEST(rowTexts(screen.model()), "rows");
        QCOMPARE(reset.size(), 0);
    }

    // Bulk work is followed as it happens too.
    void bulkWorkIsFollowed()
    {
        auto state = emptyState();
        const Note a = addNote(*state, "A\nTODO: one");
        addNote(*state, "B\nTODO: two");
        TodosScreen screen(state.get());
        screen.refresh();
        QCOMPARE(screen.model()->rowCount(), 2);
        QVERIFY(state->notes()->softDelete(QStringList{a.id}));
        QTRY_COMPARE(rowTexts(screen.model()), QStringList({"two  — B"}));
        QVERIFY(state->notes()->restore(QStringList{a.id}));
        QTRY_COMPARE(screen.model()->rowCount(), 2);
    }
};

VELM_TEST_MAIN(TestTodosScreen)
#include "tst_todosscreen.moc"
