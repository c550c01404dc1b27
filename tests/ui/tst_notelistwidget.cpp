#include "velmtest.h"

#include "notelistdelegate.h"
#include "notelistwidget.h"
#include "database.h"
#include "noterepository.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>

class TestNoteListWidget : public QObject
{
    Q_OBJECT

private:
    static NoteRow row(const QString &id, const QString &title, const QString &preview = QString(),
                       int minutesAgo = 2, SyncStatus status = SyncStatus::Synced)
    {
        NoteRow r;
        r.id = id;
        r.title = title;
        r.preview = preview;
        r.syncStatus = status;
        r.updatedAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
        return r;
    }

    static QList<NoteRow> threeRows()
    {
        return {row("a", "Alpha", "first body", 1), row("b", "Beta", "second body", 2), row("c", "Gamma", "", 3)};
    }

    static QStringList ids(const NoteListWidget &list)
    {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out << list.idAt(i);
        return out;
    }

private slots:
    void untitledRowsShowTheirFirstTextOrUntitled_data()
    {
        QTest::addColumn<QString>("storedTitle");
        QTest::addColumn<QString>("storedPreview");
        QTest::addColumn<bool>("untitled");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("preview");
        QTest::newRow("empty") << "" << "" << true << "Untitled" << "";
        QTest::newRow("text below an empty line") << "" << "Shopping list milk" << true << "Shopping list milk" << "";
        QTest::newRow("titled") << "Plans" << "for the weekend" << false << "Plans" << "for the weekend";
    }

    void untitledRowsShowTheirFirstTextOrUntitled()
    {
        QFETCH(QString, storedTitle);
        QFETCH(QString, storedPreview);
        NoteListModel model;
        model.setRows({row("n", storedTitle, storedPreview)}, NoteListModel::Order::NewestUpdateFirst);
        const QModelIndex index = model.index(0);
        QTEST(index.data(NoteListModel::UntitledRole).toBool(), "untitled");
        QTEST(index.data(NoteListModel::TitleRole).toString(), "title");
        QTEST(index.data(NoteListModel::PreviewRole).toString(), "preview");
    }

    void snippetsSplitIntoMatchedRuns()
    {
        const QString snippet = QString("…the ") + kSnippetOpen + "quick" + kSnippetClose + " fox\n"
            + kSnippetOpen + "quicker" + kSnippetClose;
        QCOMPARE(snippetParts(snippet), (QList<SnippetPart>{{"…the ", false}, {"quick", true}, {" fox ", false},
                                                            {"quicker", true}}));
        QCOMPARE(snippetParts("plain"), (QList<SnippetPart>{{"plain", false}}));
    }

    void writesMoveChangeInsertAndRemoveSingleRows_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<bool>("trashed");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QList<int>>("signals"); // changed, moved, inserted, removed
        using S = QList<int>;
        QTest::newRow("saved in place") << "a" << 0 << false << "a b c" << S{1, 0, 0, 0};
        QTest::newRow("saved to the top") << "c" << 0 << false << "c a b" << S{1, 1, 0, 0};
        QTest::newRow("older: moves down") << "a" << 5 << false << "b c a" << S{1, 1, 0, 0};
        QTest::newRow("new note") << "d" << 0 << false << "d a b c" << S{0, 0, 1, 0};
        QTest::newRow("trashed") << "b" << 0 << true << "a c" << S{0, 0, 0, 1};
        QTest::newRow("trashed, not listed") << "d" << 0 << true << "a b c" << S{0, 0, 0, 0};
    }

    void writesMoveChangeInsertAndRemoveSingleRows()
    {
        QFETCH(QString, id);
        QFETCH(int, minutesAgo);
        QFETCH(bool, trashed);
        NoteListWidget list;
        QAbstractItemModelTester tester(list.noteModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.setRows(threeRows(), NoteListModel::Order::NewestUpdateFirst,
                     [](const NoteRow &r) { return !r.deletedAt.isValid(); });
        NoteListModel *model = list.noteModel();
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy moved(model, &QAbstractItemModel::rowsMoved);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        NoteRow written = row(id, "Edited " + id, "", minutesAgo);
        if (trashed)
            written.deletedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(model->applyWrite(id, written));
        QTEST(ids(list).join(' '), "order");
        const QList<int> counts{int(changed.size()), int(moved.size()), int(inserted.size()), int(removed.size())};
        QTEST(counts, "signals");
        QCOMPARE(reset.size(), 0);
        if (!trashed)
            QCOMPARE(model->index(model->rowOf(id)).data(NoteListModel::TitleRole).toString(), "Edited " + id);
        // A purged note leaves; a ranked list cannot place a write.
        QVERIFY(model->applyWrite(id, std::nullopt));
        QCOMPARE(model->rowOf(id), -1);
        list.setRows(threeRows(), NoteListModel::Order::Ranked);
        QVERIFY(!model->applyWrite("a", written));
    }

    void rankedListsPageInAsTheViewAsks()
    {
        NoteListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<NoteRow> all;
        for (int i = 0; i < NoteListModel::kPageSize * 2 + 5; ++i)
            all << row(QString::number(i), "row");
        int reads = 0;
        model.setRows(all.mid(0, NoteListModel::kPageSize), NoteListModel::Order::Ranked, {},
                      [&](const QList<NoteRow> &loaded, int limit) { ++reads; return all.mid(loaded.size(), limit); });
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
        QCOMPARE(model.rowCount(), all.size());
        QCOMPARE(reads, 2);
        QCOMPARE(model.index(all.size() - 1).data(NoteListModel::IdRole).toString(), all.last().id);
    }

    // Pages read from the database while writes land between reads: every live
    // note once, in the order a full read gives, ties of time broken by id.
    void datePagesNeitherSkipNorRepeatAcrossWrites_data()
    {
        QTest::addColumn<bool>("oldestFirst");
        QTest::newRow("newest first") << false;
        QTest::newRow("oldest first") << true;
    }
    void datePagesNeitherSkipNorRepeatAcrossWrites()
    {
        QFETCH(bool, oldestFirst);
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath("pages.db")) && db.migrate());
        NoteRepository notes(&db);
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
        const auto note = [&base](int i, int seconds) {
            Note n;
            n.id = QStringLiteral("n%1").arg(i, 3, 10, QLatin1Char('0'));
            n.body = QStringLiteral("[]");
            n.createdAt = n.updatedAt = n.modifiedAt = base.addSecs(seconds);
            return n;
        };
        for (int i = 0; i < 250; ++i)
            QVERIFY(notes.insert(note(i, i / 2)));

        NoteListModel model; // no model tester: it reads every page itself
        const auto page = [&](const QList<NoteRow> &loaded, int limit) {
            return notes.rowsPage(QString(), oldestFirst,
                                  loaded.isEmpty() ? std::nullopt : std::optional<NoteRow>(loaded.last()), limit);
        };
        model.setRows(page({}, NoteListModel::kPageSize),
                      oldestFirst ? NoteListModel::Order::OldestUpdateFirst : NoteListModel::Order::NewestUpdateFirst,
                      [](const NoteRow &r) { return !r.deletedAt.isValid(); }, page);
        model.setRowReader([&notes](const QString &id) { return notes.rowById(id); });
        connect(&notes, &NoteRepository::notesWritten, &model, [&](const QStringList &ids) {
            for (const QString &id : ids)
                QVERIFY(model.applyWrite(id, notes.rowById(id)));
        });

        // A note read and one not read yet move to either end, one is trashed, one added in the middle.
        for (const auto &[id, at] : {std::pair{"n020", base.addDays(1)}, std::pair{"n230", base.addDays(-1)}}) {
            Note n = *notes.noteById(id);
            n.updatedAt = at;
            QVERIFY(notes.update(n));
        }
        QVERIFY(notes.softDelete(QStringLiteral("n120")));
        QVERIFY(notes.insert(note(999, 60)));

        QStringList expected;
        for (const NoteRow &r : notes.allRows())
            expected << r.id;
        if (oldestFirst)
            std::reverse(expected.begin(), expected.end());
        const auto loaded = [&model] {
            QStringList ids;
            for (int i = 0; i < model.rowCount(); ++i)
                ids << model.rowAt(i).id;
            return ids;
        };
        model.ensureLoaded(expected.at(150));
        QVERIFY(model.rowCount() < expected.size());
        QCOMPARE(loaded(), expected.mid(0, model.rowCount()));
        QVERIFY(model.rowOf(expected.at(150)) >= 0);
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
        QCOMPARE(loaded(), expected);
    }

    void untitledTitlesAreMarkedOnce()
    {
        QCOMPARE(untitledTitleText(untitledTitleText("Shopping")), untitledTitleText("Shopping"));
        QVERIFY(untitledTitleText("Shopping").endsWith("  Shopping"));
    }

    void badgesFollowSharingAndSyncState()
    {
        QCOMPARE(noteBadges(false, 1), QList<NoteBadge>());
        QCOMPARE(noteBadges(true, 0), (QList<NoteBadge>{NoteBadge::Shared, NoteBadge::Pending}));
        QCOMPARE(noteBadges(false, 2), QList<NoteBadge>{NoteBadge::Conflict});
        QCOMPARE(noteBadges(true, 0, true), (QList<NoteBadge>{NoteBadge::Shared, NoteBadge::Refused}));
        // Refused and then synced after a change: no longer marked.
        QCOMPARE(noteBadges(false, 1, true), QList<NoteBadge>());
    }

    void refreshingWithTheSameNotesKeepsTheRowSilently()
    {
        NoteListWidget list;
        QSignalSpy selected(&list, &NoteListWidget::noteSelected);
        list.setRows(threeRows());
        QCOMPARE(selected.count(), 0);
        list.selectNote(QStringLiteral("b"));
        QCOMPARE(selected.count(), 1);

        list.setRows(threeRows());
        QCOMPARE(selected.count(), 1);
        QCOMPARE(list.selectedNoteId(), QStringLiteral("b"));
        QCOMPARE(list.currentRow(), 1);

        // The current note follows its id when the order changes.
        QList<NoteRow> reordered = threeRows();
        reordered.move(1, 2);
        list.setRows(reordered);
        QCOMPARE(list.currentRow(), 2);
        QCOMPARE(selected.count(), 1);

        // A vanished note leaves no current row.
        list.setRows({reordered.first()});
        QCOMPARE(list.selectedNoteId(), QString());
        list.selectNote(QStringLiteral("missing"));
        QCOMPARE(list.selectedNoteId(), QString());
        QCOMPARE(selected.count(), 1);
    }

    void keysActivateAndDelete()
    {
        NoteListWidget list;
        QSignalSpy deleted(&list, &NoteListWidget::noteDeleteRequested);
        QSignalSpy activated(&list, &NoteListWidget::noteActivated);
        QTest::keyClick(&list, Qt::Key_Delete);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(deleted.count(), 0);
        QCOMPARE(activated.count(), 0);

        list.setRows(threeRows());
        list.selectNote(QStringLiteral("c"));
        QTest::keyClick(&list, Qt::Key_Delete);
        QTest::keyClick(&list, Qt::Key_Enter);
        QCOMPARE(deleted, QList<QVariantList>{{"c"}});
        QCOMPARE(activated.count(), 1);
        QCOMPARE(list.count(), 3); // the list never removes rows itself
    }

    void dragCarriesTheNoteId()
    {
        NoteListWidget list;
        list.setRows(threeRows());
        std::unique_ptr<QMimeData> data(list.model()->mimeData({list.model()->index(1, 0)}));
        QCOMPARE(data->data(QStringLiteral("application/x-velmora-note-id")), QByteArray("b"));
        QCOMPARE(list.dragDropMode(), QAbstractItemView::DragOnly);
    }
};

VELM_TEST_MAIN(TestNoteListWidget)
#include "tst_notelistwidget.moc"
