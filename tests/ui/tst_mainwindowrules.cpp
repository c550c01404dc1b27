#include "velmtest.h"

#include "mainwindowrules.h"

#include <QLocale>

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void storedSplitterSizesNeedThreeNonNegativeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("three") << "180,300,900" << QList<int>{180, 300, 900};
        QTest::newRow("zero is allowed") << "0,300,900" << QList<int>{0, 300, 900};
        QTest::newRow("empty parts skipped") << "180,,300,900," << QList<int>{180, 300, 900};
        QTest::newRow("two") << "180,300" << QList<int>();
        QTest::newRow("four") << "1,2,3,4" << QList<int>();
        QTest::newRow("negative") << "180,-5,900" << QList<int>();
        QTest::newRow("not a number") << "180,wide,900" << QList<int>();
        QTest::newRow("fraction") << "180,2.5,900" << QList<int>();
        QTest::newRow("nothing") << "" << QList<int>();
    }
    void storedSplitterSizesNeedThreeNonNegativeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        QCOMPARE(parseSplitterSizes(text), expected);
    }

    void sizesRoundTripThroughText()
    {
        QCOMPARE(splitterSizesText({200, 260, 820}), QStringLiteral("200,260,820"));
        QCOMPARE(parseSplitterSizes(splitterSizesText({200, 260, 820})), (QList<int>{200, 260, 820}));
    }

    void paneWidthsPerLayout_data()
    {
        QTest::addColumn<bool>("focus");
        QTest::addColumn<bool>("sidebar");
        QTest::addColumn<QList<int>>("normal");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("expected");
        const QList<int> stored{180, 300, 900};
        QTest::newRow("normal, stored") << false << true << stored << 1400 << QList<int>{180, 300, 920};
        QTest::newRow("normal, defaults") << false << true << QList<int>() << 1280 << QList<int>{200, 260, 820};
        QTest::newRow("sidebar hidden") << false << false << stored << 1400 << QList<int>{0, 300, 1100};
        QTest::newRow("focus") << true << true << stored << 1400 << QList<int>{0, 0, 1400};
        QTest::newRow("focus, sidebar hidden") << true << false << stored << 1400 << QList<int>{0, 0, 1400};
        QTest::newRow("narrow window keeps the editor") << false << true << stored << 450 << QList<int>{180, 300, 100};
    }
    void paneWidthsPerLayout()
    {
        QFETCH(bool, focus);
        QFETCH(bool, sidebar);
        QFETCH(QList<int>, normal);
        QFETCH(int, width);
        QTEST(paneWidths(focus, sidebar, normal, width), "expected");
    }

    void normalWidthsKeepOnlyReadablePanes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("minSidebar");
        QTest::addColumn<int>("minList");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("readable, kept") << QList<int>{150, 200, 900} << 1366 << 120 << 180 << QList<int>{150, 200, 900};
        QTest::newRow("squeezed sidebar") << QList<int>{70, 200, 400} << 1366 << 120 << 180 << QList<int>{200, 260, 906};
        QTest::newRow("squeezed list") << QList<int>{150, 70, 400} << 1366 << 120 << 180 << QList<int>{200, 260, 906};
        QTest::newRow("none stored") << QList<int>() << 1000 << 0 << 0 << QList<int>{200, 260, 540};
        QTest::newRow("editor keeps a floor") << QList<int>() << 600 << 0 << 0 << QList<int>{200, 260, 400};
        QTest::newRow("minimums above defaults") << QList<int>{} << 1366 << 240 << 300 << QList<int>{240, 300, 826};
    }
    void normalWidthsKeepOnlyReadablePanes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(int, width);
        QFETCH(int, minSidebar);
        QFETCH(int, minList);
        QTEST(normalPaneWidths(stored, width, {minSidebar, minList}), "expected");
    }

    void metaTextMentionsWordsOnlyWhenThereAreSome()
    {
        const QDateTime now(QDate(2026, 3, 18), QTime(15, 0));
        QCOMPARE(noteMetaText(now.addSecs(-10), 0, now), QStringLiteral("Updated just now"));
        QCOMPARE(noteMetaText(now.addSecs(-7200), 1, now), QStringLiteral("Updated 2h ago · 1 words"));
        QCOMPARE(noteMetaText(QDateTime(QDate(2025, 1, 2), QTime(9, 0)), 250, now),
                 QStringLiteral("Updated Jan 2, 2025 · 250 words"));
    }

    void rowAfterRemovalStaysInRange()
    {
        QCOMPARE(rowAfterRemoval(2, 5), 2); // the next note moved up into the row
        QCOMPARE(rowAfterRemoval(4, 4), 3); // the last row went: select the new last
        QCOMPARE(rowAfterRemoval(0, 0), -1);
        QCOMPARE(rowAfterRemoval(-1, 3), 0);
    }
};

VELM_TEST_MAIN(TestMainWindowRules)
#include "tst_mainwindowrules.moc"
