#include "velmtest.h"

#include "noteheaderbar.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

class TestNoteHeaderBar : public QObject
{
    Q_OBJECT

private:
    static QAction *menuAction(NoteHeaderBar &bar, const char *button, const QString &text)
    {
        auto *b = bar.findChild<QToolButton *>(QLatin1String(button));
        if (!b || !b->menu())
            return nullptr;
        for (QAction *a : b->menu()->actions()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }

private slots:
    void chipShowsUnorganizedForNoNotebookAndFollowsTheTheme()
    {
        NoteHeaderBar bar;
        auto *chip = bar.findChild<QPushButton *>(QStringLiteral("notebookChip"));
        bar.setNotebookName(QStringLiteral("Travel"));
        QCOMPARE(chip->text(), QStringLiteral("Travel"));
        bar.setNotebookName(QString());
        QCOMPARE(chip->text(), QStringLiteral("Unorganized"));

        QPalette light;
        light.setColor(QPalette::Window, QColor(0xFA, 0xFA, 0xFA));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
        QVERIFY(notebookChipStyleSheet(light) != notebookChipStyleSheet(dark));
    }

    void includeInTodosFromCodeIsSilentFromMenuSignals()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        QSignalSpy spy(&bar, &NoteHeaderBar::includeInTodosToggled);
        bar.setIncludeInTodos(true);
        bar.setIncludeInTodos(false);
        QCOMPARE(spy.count(), 0);

        menuAction(bar, "moreButton", QStringLiteral("Include in To-Dos"))->trigger();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
    }

    void shareButtonFollowsCanShareAndEditable()
    {
        NoteHeaderBar bar;
        auto *share = bar.findChild<QToolButton *>(QStringLiteral("shareButton"));
        bar.setEditable(true);
        QVERIFY(share->isHidden()); // sharing impossible: hidden even when editable

        bar.setCanShare(true);
        QVERIFY(!share->isHidden() && share->isEnabled());

        bar.setEditable(false); // read-only shared note
        QVERIFY(!share->isHidden() && !share->isEnabled());

        bar.setShared(true);
        QCOMPARE(share->toolTip(), QStringLiteral("Manage sharing"));
        bar.setShared(false);
        QCOMPARE(share->toolTip(), QStringLiteral("Share note"));
    }

    void notEditableClearsMetaAndDisablesActions()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        bar.setMetaText(QStringLiteral("Updated just now · 3 words"));
        auto *meta = bar.findChild<QLabel *>(QStringLiteral("metaLabel"));
        QCOMPARE(meta->text(), QStringLiteral("Updated just now · 3 words"));
        for (const char *name : {"copyButton", "historyButton", "moreButton"})
            QVERIFY(bar.findChild<QToolButton *>(QLatin1String(name))->isEnabled());

        bar.setEditable(false);
        QCOMPARE(meta->text(), QString());
        QVERIFY(!bar.findChild<QPushButton *>(QStringLiteral("notebookChip"))->isEnabled());
        for (const char *name : {"copyButton", "historyButton", "moreButton"})
            QVERIFY(!bar.findChild<QToolButton *>(QLatin1String(name))->isEnabled());
    }

    void buttonsAndMenusEmitTheirRequests()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        QSignalSpy focus(&bar, &NoteHeaderBar::focusToggleClicked);
        QSignalSpy chip(&bar, &NoteHeaderBar::notebookChipClicked);
        QSignalSpy history(&bar, &NoteHeaderBar::historyRequested);
        QSignalSpy markdown(&bar, &NoteHeaderBar::copyAsMarkdownRequested);
        QSignalSpy trash(&bar, &NoteHeaderBar::deleteRequested);
        QSignalSpy move(&bar, &NoteHeaderBar::moveToNotebookRequested);

        QTest::mouseClick(bar.findChild<QToolButton *>(QStringLiteral("focusToggle")), Qt::LeftButton);
        QTest::mouseClick(bar.findChild<QPushButton *>(QStringLiteral("notebookChip")), Qt::LeftButton);
        QTest::mouseClick(bar.findChild<QToolButton *>(QStringLiteral("historyButton")), Qt::LeftButton);
        menuAction(bar, "copyButton", QStringLiteral("Copy as Markdown"))->trigger();
        menuAction(bar, "moreButton", QStringLiteral("Move to Trash"))->trigger();
        QCOMPARE((QList<qsizetype>{focus.count(), chip.count(), history.count(), markdown.count(), trash.count(),
                                   move.count()}),
                 (QList<qsizetype>{1, 1, 1, 1, 1, 0}));
    }

    void focusToggleCanBeHidden()
    {
        NoteHeaderBar bar;
        auto *toggle = bar.findChild<QToolButton *>(QStringLiteral("focusToggle"));
        QVERIFY(!toggle->isHidden());
        bar.setFocusToggleVisible(false);
        QVERIFY(toggle->isHidden());
        const QImage before = toggle->icon().pixmap(18, 18).toImage();
        bar.setFocusMode(true);
        QVERIFY(bar.focusMode());
        QVERIFY(toggle->icon().pixmap(18, 18).toImage() != before);
    }
};

VELM_TEST_MAIN(TestNoteHeaderBar)
#include "tst_noteheaderbar.moc"
