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

    void untitledRowsShowTheirFirstTextOrUntitled_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("untitled");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("preview");
        QTest::newRow("empty") << R"([{"insert":"\n"}])" << true << "Untitled" << "";
        QTest::newRow("text below an empty line")
            << R"([{"insert":"\nShopping list\nmilk\n"}])" << true << "Shopping list milk" << "";
        QTest::newRow("titled") << R"([{"insert":"Plans\nfor the weekend\n"}])" << false << "Plans"
                                << "for the weekend";
    }
    void untitledRowsShowTheirFirstTextOrUntitled()
    {
        QFETCH(QString, body);
        const NoteRowText row = noteRowText(body);
        QTEST(row.untitled, "untitled");
        QTEST(row.title, "title");
        QTEST(row.preview, "preview");
    }

    void untitledTitlesAreMarkedOnce()
    {
        QCOMPARE(untitledTitleText(QString()), QStringLiteral("\u2E3A  Untitled"));
        QCOMPARE(untitledTitleText("Shopping list milk"), QStringLiteral("\u2E3A  Shopping list milk"));
        QCOMPARE(untitledTitleText(QStringLiteral("\u2E3A already")), QStringLiteral("\u2E3A already"));
    }

    void rowsCarryTheirRoles()
    {
        NoteListWidget list;
        list.setNotebookNameResolver([](const QString &id) { return id == "nb1" ? QStringLiteral("Work") : QString(); });
        Note shared = note("s", R"([{"insert":"\n"}])", SyncStatus::Conflict, "nb1");
        shared.isShared = true;
        list.setNotes({shared, note("p", R"([{"insert":"Plain\n"}])", SyncStatus::Pending)});
        const QListWidgetItem *first = list.item(0);
        QCOMPARE(first->data(NoteListWidget::TitleRole).toString(), QStringLiteral("Untitled"));
        QCOMPARE(first->data(NoteListWidget::UntitledRole).toBool(), true);
        QCOMPARE(first->data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
        QCOMPARE(first->data(NoteListWidget::SharedRole).toBool(), true);
        QCOMPARE(first->data(NoteListWidget::SyncStatusRole).toInt(), int(SyncStatus::Conflict));
        QCOMPARE(list.item(1)->data(NoteListWidget::NotebookNameRole).toString(), QString());
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
        QCOMPARE(none.titleWidth - three.titleWidth, 70.0);
        QCOMPARE(three.badgeBoxes.size(), 3);
        QCOMPARE(three.badgeBoxes.last().right(), three.contentRight);
        // Badges sit on the title line, and every line stays inside the row.
        QVERIFY(three.badgeBoxes.first().top() > row.top() + 16);
        QVERIFY(none.titleBaseline < none.previewBaseline && none.previewBaseline < none.metaBaseline);
        QVERIFY(none.metaBaseline < row.bottom());
    }

    void refreshingWithTheSameNotesKeepsTheRowSilently()
    {
        NoteListWidget list;
        QSignalSpy selected(&list, &NoteListWidget::noteSelected);
        list.setNotes(threeNotes());
        QCOMPARE(selected.count(), 0);
        list.selectNote(QStringLiteral("b"));
        QCOMPARE(selected.count(), 1);

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
        std::unique_ptr<QMimeData> data(list.model()->mimeData({list.model()->index(1, 0)}));
        QCOMPARE(data->data(QStringLiteral("application/x-velmora-note-id")), QByteArray("b"));
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
        QVERIFY(l.selected.lightness() < l.hover.lightness() && l.hover.lightness() < l.background.lightness());
        QVERIFY(d.selected.lightness() > d.hover.lightness() && d.hover.lightness() > d.background.lightness());
        // Meta text is the faintest line in either theme.
        QVERIFY(l.metaText.lightness() > l.previewText.lightness());
        QVERIFY(d.metaText.lightness() < d.previewText.lightness());
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
        QCOMPARE(image.pixelColor(300, 5).rgb(), colors.selected.rgb());
        QCOMPARE(image.pixelColor(150, 90).rgb(), colors.separator.rgb());
        QCOMPARE(image.pixelColor(0, 91 + 45).rgb(), colors.background.rgb()); // unselected row: no bar
        QCOMPARE(image.pixelColor(300, 91 + 5).rgb(), colors.background.rgb());
    }
};

VELM_TEST_MAIN(TestNoteListWidget)
#include "tst_notelistwidget.moc"
