#include "velmtest.h"

#include "notebooklistdelegate.h"
#include "notebooklistwidget.h"
#include "uitestkit.h"

#include "thememanager.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>

class TestNotebookListWidget : public QObject
{
    Q_OBJECT

private:
    static Notebook notebook(const QString &id, const QString &name, bool deleted = false)
    {
        Notebook nb;
        nb.id = id;
        nb.name = name;
        if (deleted)
            nb.deletedAt = QDateTime::currentDateTimeUtc();
        return nb;
    }
    static QList<Notebook> notebooks()
    {
        return {notebook("w", "Work"), notebook("gone", "Old", true), notebook("e", "Empty")};
    }
    static QHash<QString, int> counts() { return {{QString(), 7}, {"w", 4}}; }

    struct Fixture
    {
        NotebookListWidget list;
        QSignalSpy allNotes{&list, &NotebookListWidget::allNotesSelected};
        QSignalSpy notebook{&list, &NotebookListWidget::notebookSelected};
        QSignalSpy trash{&list, &NotebookListWidget::trashSelected};
        QSignalSpy newNotebook{&list, &NotebookListWidget::newNotebookRequested};
        QSignalSpy dropped{&list, &NotebookListWidget::noteDroppedOnNotebook};
        int emitted() const
        {
            return int(allNotes.count() + notebook.count() + trash.count() + newNotebook.count() + dropped.count());
        }
        Fixture()
        {
            list.resize(240, 400);
            list.setNotebooks(notebooks(), counts(), QString(), 2);
            list.show();
        }
    };

    static bool dropOn(NotebookListWidget &list, int row, const QByteArray &noteId)
    {
        return VelmTest::dropNoteId(&list, list.visualItemRect(list.item(row)).center(), noteId);
    }

private slots:
    void rowsCountsAndDeletedNotebooks()
    {
        Fixture f;
        // The deleted notebook is hidden; an empty notebook shows no count.
        QStringList rows;
        for (int i = 0; i < f.list.count(); ++i) {
            const QListWidgetItem *item = f.list.item(i);
            rows << item->data(NotebookListWidget::NameRole).toString() + '|'
                        + notebookCountText(item->data(NotebookListWidget::KindRole).toInt(),
                                            item->data(NotebookListWidget::CountRole).toInt());
        }
        QCOMPARE(rows, QStringList({"All Notes|7", "Work|4", "Empty|", "Trash|2", "New Notebook…|"}));
        QCOMPARE(notebookCountText(NotebookListWidget::NewNotebookKind, 3), QString());
    }

    void rebuildingSelectsTheCurrentNotebookOrAllNotesSilently()
    {
        Fixture f;
        QCOMPARE(f.list.currentRow(), 0);
        f.list.setNotebooks(notebooks(), counts(), QStringLiteral("e"), 0);
        QCOMPARE(f.list.currentRow(), 2);
        f.list.setNotebooks({notebook("w", "Work"), notebook("e", "Empty", true)}, counts(), QStringLiteral("e"), 0);
        QCOMPARE(f.list.currentRow(), 0);
        QCOMPARE(f.list.count(), 4);
        QCOMPARE(f.emitted(), 0);
    }

    void clicksEmitByRowKind()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.list));
        for (int row = 0; row < f.list.count(); ++row)
            QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, f.list.visualItemRect(f.list.item(row)).center());
        QCOMPARE(f.allNotes.count(), 1);
        QCOMPARE(f.notebook, (QList<QVariantList>{{"w"}, {"e"}}));
        QCOMPARE(f.trash.count(), 1);
        QCOMPARE(f.newNotebook.count(), 1);
    }

    void dropsFileTheNoteOnlyOnNotebooksAndAllNotes()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.list));
        // Trash, New Notebook and a note without id are refused.
        QVERIFY(!dropOn(f.list, 3, "note-1"));
        QVERIFY(!dropOn(f.list, 4, "note-1"));
        QVERIFY(!dropOn(f.list, 1, QByteArray()));
        QCOMPARE(f.emitted(), 0);
        QCOMPARE(f.list.currentRow(), 0);
        QVERIFY(dropOn(f.list, 1, "note-1"));
        QVERIFY(dropOn(f.list, 0, "note-1"));
        QCOMPARE(f.dropped, (QList<QVariantList>{{"note-1", "w"}, {"note-1", QString()}}));
    }

    void dragMoveHighlightsOnlyDropTargets()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.list));
        QMimeData mime;
        mime.setData(QStringLiteral("application/x-velmora-note-id"), "note-1");
        QDragEnterEvent enter(f.list.visualItemRect(f.list.item(0)).center(), Qt::MoveAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(f.list.viewport(), &enter);
        const auto moveOver = [&](int row) {
            QDragMoveEvent move(f.list.visualItemRect(f.list.item(row)).center(), Qt::MoveAction, &mime,
                                Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.list.viewport(), &move);
            return move.isAccepted();
        };
        QVERIFY(moveOver(2));
        QCOMPARE(f.list.currentRow(), 2);
        QVERIFY(!moveOver(3));
        QCOMPARE(f.list.currentRow(), 2);

        // Leaving puts the selection back where it was.
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(f.list.viewport(), &leave);
        QCOMPARE(f.list.currentRow(), 0);
        QCOMPARE(f.emitted(), 0);
    }

    // In a pane squeezed as far as the splitter lets it, the rows the list
    // always has read whole at every text size: drawn as in a wide list.
    void fixedRowsReadWholeInANarrowPane_data()
    {
        QTest::addColumn<int>("percent");
        for (int percent : {100, 130, 160})
            QTest::addRow("%d %%", percent) << percent;
    }
    void fixedRowsReadWholeInANarrowPane()
    {
        QFETCH(int, percent);
        ThemeManager theme(nullptr);
        theme.setFontScale(percent);
        const auto fill = [](NotebookListWidget &list) { list.setNotebooks({}, {{QString(), 12345}}, QString(), 678); };
        QSplitter splitter;
        auto *narrow = new NotebookListWidget(&splitter);
        splitter.addWidget(new QWidget(&splitter));
        splitter.setChildrenCollapsible(false);
        fill(*narrow);
        splitter.resize(800, 400);
        splitter.show();
        splitter.setSizes({10, 790});
        QVERIFY(QTest::qWaitForWindowExposed(&splitter));
        NotebookListWidget wide;
        fill(wide);
        wide.resize(700, 400);
        wide.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wide));
        for (int row = 0; row < narrow->count(); ++row) {
            // The name's part of the row, up to its last letter.
            const QListWidgetItem *item = narrow->item(row);
            const int nameEnd = notebookRowWidth(item->data(NotebookListWidget::KindRole).toInt(), item->text(), QString(), percent) - 16;
            const QRect rect = narrow->visualItemRect(narrow->item(row));
            const QImage seen = narrow->viewport()->grab(rect).toImage().copy(0, 0, nameEnd, rect.height());
            const QImage whole = wide.viewport()->grab(wide.visualItemRect(wide.item(row))).toImage().copy(0, 0, nameEnd, rect.height());
            QVERIFY2(seen == whole, qPrintable(item->text() + QStringLiteral(" cut at %1 px").arg(rect.width())));
        }
        theme.setFontScale(100);
    }
};

VELM_TEST_MAIN(TestNotebookListWidget)
#include "tst_notebooklistwidget.moc"
