#include "velmtest.h"

#include "statusbar.h"

class TestStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void notebookInfoTakesNoteOnlyForExactlyOne_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << 0 << "Work (0 notes)";
        QTest::newRow("one") << 1 << "Work (1 note)";
        QTest::newRow("two") << 2 << "Work (2 notes)";
        QTest::newRow("unknown count") << -1 << "Work";
    }
    void notebookInfoTakesNoteOnlyForExactlyOne()
    {
        QFETCH(int, count);
        QFETCH(QString, expected);
        StatusBar bar;
        bar.setNotebookInfo(QStringLiteral("Work"), count);
        QCOMPARE(bar.notebookText(), expected);
    }

    void wordCountThenSavedStateReadsAsOneLine()
    {
        StatusBar bar;
        QCOMPARE(bar.statusText(), QStringLiteral("Not signed in"));
        QCOMPARE(bar.wordCountLabelText(), QString());

        // The editor reports "unsaved" just before the new count.
        bar.setSavedState(false);
        bar.setWordCount(12);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12"));
        bar.setSavedState(true);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12 · Saved"));
        bar.setSavedState(false);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12 · Saving..."));
        bar.setWordCount(13);
        bar.setSavedState(true);
        bar.setSavedState(true);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 13 · Saved"));

        // Without a word count the saved state stands alone.
        bar.setWordCount(-1);
        QCOMPARE(bar.wordCountLabelText(), QString());
        bar.setSavedState(false);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Saving..."));
        // Text that merely contains the word keeps it.
        QCOMPARE(withSavedState(QStringLiteral("Unsaved"), true), QStringLiteral("Unsaved · Saved"));
    }
};

VELM_TEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
