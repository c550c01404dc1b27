#include "velmtest.h"

#include "windowplacement.h"

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void windowLiesWhollyOnItsScreen_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("opener"); // null: no opener
        QTest::addColumn<QRect>("expected");
        const QRect laptop(0, 0, 1366, 740);
        const QRect second(1366, 0, 1920, 1050);
        QTest::newRow("fits, stays") << QRect(100, 50, 800, 600) << laptop << QRect() << QRect(100, 50, 800, 600);
        QTest::newRow("taller than the screen") << QRect(0, 0, 1280, 1024) << laptop << QRect() << QRect(0, 0, 1280, 740);
        QTest::newRow("past the right and bottom edges")
            << QRect(1000, 500, 800, 600) << laptop << QRect() << QRect(566, 140, 800, 600);
        QTest::newRow("above and left of the screen") << QRect(-50, -20, 400, 300) << laptop << QRect() << QRect(0, 0, 400, 300);
        QTest::newRow("on the second screen, too large")
            << QRect(1500, 50, 2000, 1200) << second << QRect() << QRect(1366, 0, 1920, 1050);
        QTest::newRow("centred on the opener")
            << QRect(0, 0, 600, 500) << laptop << QRect(100, 100, 1000, 600) << QRect(300, 150, 600, 500);
        QTest::newRow("opener of the same size: cascaded")
            << QRect(0, 0, 800, 600) << laptop << QRect(200, 100, 800, 600) << QRect(232, 132, 800, 600);
        QTest::newRow("opener near the edge: still on screen")
            << QRect(0, 0, 600, 500) << laptop << QRect(1000, 400, 366, 300) << QRect(766, 240, 600, 500);
        QTest::newRow("opener on the second screen")
            << QRect(0, 0, 600, 500) << second << QRect(1500, 100, 800, 600) << QRect(1600, 150, 600, 500);
    }
    void windowLiesWhollyOnItsScreen()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, available);
        QFETCH(QRect, opener);
        const std::optional<QRect> from = opener.isNull() ? std::nullopt : std::optional<QRect>(opener);
        QTEST(placeWindow(window, available, from), "expected");
    }

    void screenOfAWindow_data()
    {
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<int>("expected");
        const QList<QRect> two{QRect(0, 0, 1366, 740), QRect(1366, 0, 1920, 1050)};
        QTest::newRow("centre on the first") << two << QRect(100, 100, 800, 600) << 0;
        QTest::newRow("centre on the second") << two << QRect(1200, 100, 800, 600) << 1;
        QTest::newRow("centre off screen, overlaps the second") << two << QRect(3100, 100, 400, 300) << 1;
        QTest::newRow("nowhere near: the first") << two << QRect(-900, -900, 100, 100) << 0;
        QTest::newRow("no screens") << QList<QRect>() << QRect(0, 0, 10, 10) << -1;
    }
    void screenOfAWindow()
    {
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, anchor);
        QTEST(screenIndexFor(areas, anchor), "expected");
    }
};

VELM_TEST_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
