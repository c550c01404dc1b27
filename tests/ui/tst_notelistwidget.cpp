#include "velmtest.h"

#include "notelistdelegate.h"
#include "notelistwidget.h"

#include <QMimeData>
#include <QSignalSpy>

class TestNoteListWidget : public QObject
{
    Q_OBJECT

private:
    static Note note(const QString &id, const QString &body, SyncStatus status = SyncStatus::Synced,
                     const QString &notebookId = QString())
    {
        Note n;
        n.id = id;
        n.body = body;
        n.notebookId = notebookId;
        n.syncStatus = status;
        n.updatedAt = QDateTime::currentDateTimeUtc().addSecs(-120);
        return n;
    }
    static QList<Note> threeNotes()
    {
        return {note("a", R"([{"insert":"Alpha\nfirst body\n"}])"),
                note("b", R"([{"insert":"Beta\nsecond body\n"}])"),
                note("c", R"([{"insert":"Gamma\n"}])")};
    }

private slots:
    void rowMetricsFollowFontScale_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("title");
        QTest::addColumn<int>("preview");
        QTest::addColumn<int>("meta");
        QTest::addColumn<int>("notebook");
        QTest::addColumn<int>("height");
        QTest::newRow("100 %") << 100 << 15 << 13 << 11 << 12 << 91;
        QTest::newRow("70 %") << 70 << 10 << 9 << 8 << 9 << 76;
        QTest::newRow("160 %") << 160 << 23 << 20 << 17 << 19 << 117;
        QTest::newRow("125 %") << 125 << 19 << 16 << 14 << 15 << 104;
    }
    void rowMetricsFollowFontScale()
    {
        QFETCH(int, scale);
        const NoteRowMetrics m = noteRowMetrics(scale);
        QTEST(m.titleSize, "title");
        QCOMPARE(m.untitledTitleSize, m.titleSize);
        QTEST(m.previewSize, "preview");
        QTEST(m.metaSize, "meta");
        QTEST(m.notebookSize, "notebook");
        QTEST(m.rowHeight, "height");
    }

    void delegateRowHeightIsTheScaledHeight()
    {
        NoteListWidget list;
        list.resize(320, 400);
        list.setNotes(threeNotes());
        QCOMPARE(list.visualItemRect(list.item(0)).height(), 91);
        QCOMPARE(list.visualItemRect(list.item(1)).top(), 91);
    }

    void untitledRowsShowTheirFirstTextOrUntitled()
    {
        const NoteRowText empty = noteRowText(R"([{"insert":"\n"}])");
        QVERIFY(empty.untitled);
        QCOMPARE(empty.title, QStringLiteral("Untitled"));
        QCOMPARE(empty.preview, QString());
        QCOMPARE(untitledTitleText(empty.title), QStringLiteral("\u2E3A  Untitled"));
        QCOMPARE(untitledTitleText(QString()), QStringLiteral("\u2E3A  Untitled"));

        const NoteRowText later = noteRowText(R"([{"insert":"\nShopping list\nmilk\n"}])");
        QVERIFY(later.untitled);
        QCOMPARE(later.title, QStringLiteral("Shopping list milk"));
        QCOMPARE(later.preview, QString());
        QCOMPARE(untitledTitleText(later.title), QStringLiteral("\u2E3A  Shopping list milk"));
        QCOMPARE(untitledTitleText(QStringLiteral("\u2E3A already")), QStringLiteral("\u2E3A already"));

        const NoteRowText titled = noteRowText(R"([{"insert":"Plans\nfor the weekend\n"}])");
        QVERIFY(!titled.untitled);
        QCOMPARE(titled.title, QStringLiteral("Plans"));
        QCOMPARE(titled.preview, QStringLiteral("for the weekend"));
    }

    void rowsCarryTheirRoles()
    {
        NoteListWidget list;
        list.setNotebookNameResolver([](const QString &id) { return id == "nb1" ? QStringLiteral("Work") : QString(); });
        Note shared = note("s", R"([{"insert":"\n"}])", SyncStatus::Conflict, "nb1");
        shared.isShared = true;
        list.setNotes({shared, note("p", R"([{"insert":"Plain\n"}])", SyncStatus::Pending)});
        QCOMPARE(list.count(), 2);
        const QListWidgetItem *first = list.item(0);
        QCOMPARE(first->data(NoteListWidget::IdRole).toString(), QStringLiteral("s"));
        QCOMPARE(first->data(NoteListWidget::TitleRole).toString(), QStringLiteral("Untitled"));
        QCOMPARE(first->data(NoteListWidget::UntitledRole).toBool(), true);
        QCOMPARE(first->data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
        QCOMPARE(first->data(NoteListWidget::SharedRole).toBool(), true);
        QCOMPARE(first->data(NoteListWidget::SyncStatusRole).toInt(), 2);
        QCOMPARE(first->data(NoteListWidget::UpdatedAtRole).toDateTime(), shared.updatedAt);
        QCOMPARE(list.item(1)->data(NoteListWidget::NotebookNameRole).toString(), QString());
        QCOMPARE(list.item(1)->data(NoteListWidget::SyncStatusRole).toInt(), 0);
        QCOMPARE(list.notes().size(), 2);
    }

    void badgesAndTheTitleRoomTheyTake()
    {
        QCOMPARE(noteBadges(false, 1), QList<NoteBadge>());
        QCOMPARE(noteBadges(true, 0), (QList<NoteBadge>{NoteBadge::Shared, NoteBadge::Pending}));
        QCOMPARE(noteBadges(false, 2), QList<NoteBadge>{NoteBadge::Conflict});

        const NoteRowMetrics m = noteRowMetrics(100);
        const QRectF row(0, 91, 300, 91);
        const NoteRowLayout none = noteRowLayout(row, m, 0, false);
        const NoteRowLayout three = noteRowLayout(row, m, 3, false);
        QCOMPARE(none.contentLeft, 28.0);
        QCOMPARE(none.titleWidth, none.contentRight - none.contentLeft);
        QCOMPARE(none.titleWidth - three.titleWidth, 70.0);
        QCOMPARE(three.badgeBoxes.size(), 3);
        QCOMPARE(three.badgeBoxes.at(1).left() - three.badgeBoxes.at(0).left(), 22.0);
        QCOMPARE(three.badgeBoxes.last().right(), three.contentRight);
        // Badges sit on the title line, and every line stays inside the row.
        QVERIFY(three.badgeBoxes.first().top() > row.top() + 16);
        QVERIFY(none.previewBaseline > none.titleBaseline);
        QVERIFY(none.metaBaseline > none.previewBaseline);
        QVERIFY(none.metaBaseline < row.bottom());
        QCOMPARE(none.accentBar, QRectF(0, 91 + 16, 2, 91 - 32));
    }

    void refreshingWithTheSameNotesKeepsTheRowSilently()
    {
        NoteListWidget list;
        QSignalSpy selected(&list, &NoteListWidget::noteSelected);
        list.setNotes(threeNotes());
        QCOMPARE(selected.count(), 0);
        list.selectNote(QStringLiteral("b"));
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.at(0).at(0).toString(), QStringLiteral("b"));

        list.setNotes(threeNotes());
        QCOMPARE(selected.count(), 1);
        QCOMPARE(list.selectedNoteId(), QStringLiteral("b"));
        QCOMPARE(list.currentRow(), 1);

        // The current note follows its id when the order changes.
        QList<Note> reordered = threeNotes();
        reordered.move(1, 2);
        list.setNotes(reordered);
        QCOMPARE(list.currentRow(), 2);
        QCOMPARE(selected.count(), 1);

        // A vanished note leaves no current row.
        list.setNotes({reordered.first()});
        QCOMPARE(list.selectedNoteId(), QString());
        list.selectNote(QStringLiteral("missing"));
        QCOMPARE(list.selectedNoteId(), QString());
        QCOMPARE(selected.count(), 1);
    }

    void changedBodyIsReadAgain()
    {
        NoteListWidget list;
        QList<Note> notes = threeNotes();
        list.setNotes(notes);
        notes[0].body = R"([{"insert":"Alpha revised\nnew body\n"}])";
        list.setNotes(notes);
        QCOMPARE(list.item(0)->data(NoteListWidget::TitleRole).toString(), QStringLiteral("Alpha revised"));
        QCOMPARE(list.item(0)->data(NoteListWidget::PreviewRole).toString(), QStringLiteral("new body"));
        QCOMPARE(list.item(1)->data(NoteListWidget::TitleRole).toString(), QStringLiteral("Beta"));
        notes[1].body = R"([{"insert":"\n"}])";
        list.setNotes(notes);
        QCOMPARE(list.item(1)->data(NoteListWidget::UntitledRole).toBool(), true);
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

        list.setNotes(threeNotes());
        list.selectNote(QStringLiteral("c"));
        QTest::keyClick(&list, Qt::Key_Delete);
        QTest::keyClick(&list, Qt::Key_Enter);
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.at(0).at(0).toString(), QStringLiteral("c"));
        QCOMPARE(activated.count(), 1);
        QCOMPARE(list.count(), 3); // the list never removes rows itself
    }

    void dragCarriesTheNoteId()
    {
        NoteListWidget list;
        list.setNotes(threeNotes());
        const QStringList types = list.model()->mimeTypes();
        QCOMPARE(types, QStringList{QStringLiteral("application/x-velmora-note-id")});
        std::unique_ptr<QMimeData> data(list.model()->mimeData({list.model()->index(1, 0)}));
        QVERIFY(data);
        QCOMPARE(data->data(QStringLiteral("application/x-velmora-note-id")), QByteArray("b"));
        QVERIFY(list.dragEnabled());
        QCOMPARE(list.dragDropMode(), QAbstractItemView::DragOnly);
    }

    void paletteDecidesTheShades()
    {
        QPalette light;
        light.setColor(QPalette::Base, Qt::white);
        light.setColor(QPalette::Text, QColor(0x21, 0x21, 0x21));
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(0x25, 0x25, 0x25));
        dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
        const NoteListColors l = noteListColors(light);
        const NoteListColors d = noteListColors(dark);
        QVERIFY(l.selected.lightness() < l.hover.lightness());
        QVERIFY(l.hover.lightness() < l.background.lightness());
        QVERIFY(d.selected.lightness() > d.hover.lightness());
        QVERIFY(d.hover.lightness() > d.background.lightness());
        QVERIFY(l.metaText.lightness() > l.previewText.lightness()); // meta is the faintest on light
        QVERIFY(d.metaText.lightness() < d.previewText.lightness());
        QCOMPARE(l.conflict, QColor(224, 122, 107));
    }

    void selectedRowIsPaintedWithAccentBarAndSeparator()
    {
        NoteListWidget list;
        QPalette pal = list.palette();
        pal.setColor(QPalette::Base, Qt::white);
        pal.setColor(QPalette::Highlight, QColor(0x15, 0x65, 0xC0));
        list.setPalette(pal);
        list.resize(320, 300);
        list.setNotes(threeNotes());
        list.selectNote(QStringLiteral("a"));
        const QImage image = list.grab().toImage();
        const NoteListColors colors = noteListColors(pal);
        QCOMPARE(image.pixelColor(0, 45).rgb(), colors.accent.rgb());
        QCOMPARE(image.pixelColor(0, 5).rgb(), colors.selected.rgb());
        QCOMPARE(image.pixelColor(300, 5).rgb(), colors.selected.rgb());
        QCOMPARE(image.pixelColor(150, 90).rgb(), colors.separator.rgb());
        QCOMPARE(image.pixelColor(0, 91 + 45).rgb(), colors.background.rgb()); // unselected row: no bar
        QCOMPARE(image.pixelColor(300, 91 + 5).rgb(), colors.background.rgb());
    }
};

VELM_TEST_MAIN(TestNoteListWidget)
#include "tst_notelistwidget.moc"
