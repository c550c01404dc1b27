#include "velmtest.h"

#include "database.h"
#include "preferencesrepository.h"
#include "storagefixture.h"

#include <QSignalSpy>

using namespace StorageFixture;

class TestPreferencesRepository : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<PreferencesRepository> m_prefs;

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_prefs = std::make_unique<PreferencesRepository>(m_db.get());
    }

    void cleanup()
    {
        m_prefs.reset();
        m_db.reset();
    }

    // Each stored text read by getBool (default true and false) and by getInt (default 5).
    void typedReaders_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("asBool"); // -1: the default
        QTest::addColumn<int>("asInt");
        QTest::newRow("1") << "1" << 1 << 1;
        QTest::newRow("true") << "true" << 1 << 5;
        QTest::newRow("yes") << "yes" << 1 << 5;
        QTest::newRow("capital True") << "True" << 0 << 5;
        QTest::newRow("0") << "0" << 0 << 0;
        QTest::newRow("negative") << "-7" << 0 << -7;
        QTest::newRow("digits then letters") << "12abc" << 0 << 5;
        QTest::newRow("empty") << "" << 0 << 5;
        QTest::newRow("too large") << "99999999999" << 0 << 5;
        QTest::newRow("absent") << QString() << -1 << 5;
    }
    void typedReaders()
    {
        QFETCH(QString, stored);
        QFETCH(int, asBool);
        QFETCH(int, asInt);
        if (!stored.isNull())
            QVERIFY(run(*m_db, "INSERT INTO preferences (key, value) VALUES ('k', ?)", {stored}));
        QCOMPARE(m_prefs->getBool("k", true), asBool == -1 ? true : bool(asBool));
        QCOMPARE(m_prefs->getBool("k", false), asBool == -1 ? false : bool(asBool));
        QCOMPARE(m_prefs->getInt("k", 5), asInt);
        // A stored empty text is present, not absent.
        QCOMPARE(m_prefs->get("k").has_value(), !stored.isNull());
        QCOMPARE(m_prefs->getString("k", "fallback"), stored.isNull() ? QString("fallback") : stored);
    }

    void writersStoreTextAndEmitOnlyForChanges()
    {
        QString seen;
        QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
        // A slot already reads the new value.
        connect(m_prefs.get(), &PreferencesRepository::changed, this,
                [this, &seen](const QString &key) { seen = m_prefs->getString(key, "none"); });
        m_prefs->set("theme_mode", "dark");
        m_prefs->set("theme_mode", "dark");
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QString("theme_mode"));
        QCOMPARE(seen, QString("dark"));
        m_prefs->set("theme_mode", "light");
        QCOMPARE(changed.size(), 2);
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM preferences").toInt(), 1);

        m_prefs->setBool("b", true);
        m_prefs->setBool("b", true);
        m_prefs->setBool("c", false);
        m_prefs->setInt("i", -120);
        QCOMPARE(changed.size(), 5);
        QCOMPARE(scalar(*m_db, "SELECT group_concat(value, ' ') FROM (SELECT value FROM preferences "
                               "WHERE key IN ('b', 'c', 'i') ORDER BY key)").toString(), QString("1 0 -120"));

        // remove always emits, stored or not.
        m_prefs->remove("theme_mode");
        QCOMPARE(seen, QString("none"));
        m_prefs->remove("never_stored");
        QCOMPARE(changed.size(), 7);
        QCOMPARE(changed.at(6).at(0).toString(), QString("never_stored"));
        QVERIFY(!m_prefs->get("theme_mode"));
    }

    void refusedWritesAreLoggedAndEmitNothing()
    {
        m_prefs->set("k", "v");
        QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE INSERT ON preferences BEGIN SELECT RAISE(ABORT, 'no'); END"));
        QVERIFY(run(*m_db, "CREATE TRIGGER keep BEFORE DELETE ON preferences BEGIN SELECT RAISE(ABORT, 'no'); END"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Statement failed: no.* in INSERT INTO preferences"));
        m_prefs->set("k", "w");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Statement failed: no.* in DELETE FROM preferences"));
        m_prefs->remove("k");
        QCOMPARE(m_prefs->getString("k"), QString("v"));
        // Unreadable, the defaults answer.
        QVERIFY(run(*m_db, "DROP TABLE preferences"));
        QCOMPARE(m_prefs->getBool("k", true), true);
        QCOMPARE(changed.size(), 0);
    }
};

VELM_TEST_CORE_MAIN(TestPreferencesRepository)
#include "tst_preferencesrepository.moc"
