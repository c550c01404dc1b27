#include "velmtest.h"

#include "largecache.h"

#include <QSqlQuery>

#include <optional>

class TestLargeCache : public QObject
{
    Q_OBJECT

private slots:
    // Larger while the scope lasts, never smaller, and as it was afterwards.
    void growsForItsScopeOnly_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("inside");
        QTest::newRow("default size") << "-2000" << "-65536";
        QTest::newRow("in pages") << "500" << "-65536";
        QTest::newRow("already larger") << "-262144" << "-262144";
    }
    void growsForItsScopeOnly()
    {
        QFETCH(QString, before);
        QFETCH(QString, inside);
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", QTest::currentDataTag());
        db.setDatabaseName(":memory:");
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA cache_size=" + before));
        const auto size = [&q] { return q.exec("PRAGMA cache_size") && q.next() ? q.value(0).toString() : QString(); };
        std::optional<LargeCache> cache(std::in_place, db, 64);
        QCOMPARE(size(), inside);
        cache.reset();
        QCOMPARE(size(), before);
    }
};

VELM_TEST_CORE_MAIN(TestLargeCache)
#include "tst_largecache.moc"
