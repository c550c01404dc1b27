#include "velmtest.h"

#include "notebooklistdelegate.h"
#include "notebooklistwidget.h"

#include <QMimeData>
#include <QSignalSpy>

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

    // Drags mime into the list's viewport as the platform would: enter, move
    // and drop over row. True when the drop was accepted.
    static bool dropOn(NotebookListWidget &list, int row, QMimeData *mime)
    {
        const QPoint pos = list.visualItemRect(list.item(row)).center();
        enter(list, pos, mime);
        QDragMoveEvent move(pos, Qt::MoveAction | Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &move);
        QDropEvent drop(QPointF(pos), Qt::MoveAction | Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &drop);
        return drop.isAccepted();
    }
    static void enter(NotebookListWidget &list, const QPoint &pos, QMimeData *mime)
    {
        QDragEnterEvent event(pos, Qt::MoveAction | Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &event);
    }
    static std::unique_ptr<QMimeData> noteMime(const QByteArray &id)
    {
        auto mime = std::make_unique<QMimeData>();
        mime->setData(QStringLiteral("application/x-velmora-note-id"), id);
        return mime;
    }

private slots:
    void rowMetricsFollowFontScale_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("name");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("height");
        QTest::newRow("100 %") << 100 << 14 << 11 << 37;
        QTest::newRow("70 %") << 70 << 10 << 8 << 36;
        QTest::newRow("160 %") << 160 << 22 << 17 << 54;
    }
    void rowMetricsFollowFontScale()
    {
        QFETCH(int, scale);
        const NotebookRowMetrics m = notebookRowMetrics(scale);
        QTEST(m.nameSize, "name");
        QTEST(m.countSize, "count");
        QTEST(m.rowHeight, "height");
    }

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
        auto mime = noteMime("note-1");
        // Trash, New Notebook, a note without id and plain text are refused.
        QVERIFY(!dropOn(f.list, 3, mime.get()));
        QVERIFY(!dropOn(f.list, 4, mime.get()));
        QVERIFY(!dropOn(f.list, 1, noteMime(QByteArray()).get()));
        QMimeData text;
        text.setText(QStringLiteral("note-1"));
        dropOn(f.list, 1, &text);
        QCOMPARE(f.emitted(), 0);
        QCOMPARE(f.list.currentRow(), 0);

        QVERIFY(dropOn(f.list, 1, mime.get()));
        QVERIFY(dropOn(f.list, 0, mime.get()));
        QCOMPARE(f.dropped.count(), 2);
        QCOMPARE(f.dropped.at(0), (QVariantList{"note-1", "w"}));
        QCOMPARE(f.dropped.at(1), (QVariantList{"note-1", QString()}));
    }

    void dragMoveHighlightsOnlyDropTargets()
    {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.list));
        auto mime = noteMime("note-1");
        enter(f.list, f.list.visualItemRect(f.list.item(0)).center(), mime.get());
        const auto moveOver = [&](int row) {
            QDragMoveEvent move(f.list.visualItemRect(f.list.item(row)).center(), Qt::MoveAction, mime.get(),
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

    void selectedRowIsPaintedWithAccentBar()
    {
        NotebookListWidget list;
        QPalette pal = list.palette();
        pal.setColor(QPalette::Base, QColor(0x25, 0x25, 0x25));
        pal.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
        pal.setColor(QPalette::Highlight, QColor(0x42, 0xA5, 0xF5));
        list.setPalette(pal);
        list.resize(240, 300);
        list.setNotebooks(notebooks(), counts(), QStringLiteral("w"), 0);
        const QImage image = list.grab().toImage();
        const NotebookListColors colors = notebookListColors(pal);
        const int top = list.visualItemRect(list.item(1)).top();
        QCOMPARE(image.pixelColor(0, top + 18).rgb(), colors.accent.rgb());
        QCOMPARE(image.pixelColor(0, 18).rgb(), colors.background.rgb());
        QCOMPARE(image.pixelColor(230, top + 2).rgb(), colors.selected.rgb());
    }
};

VELM_TEST_MAIN(TestNotebookListWidget)
#include "tst_notebooklistwidget.moc"
