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

    void store(const QString &key, const QString &value)
    {
        QVERIFY(run(*m_db, "INSERT OR REPLACE INTO preferences (key, value) VALUES (?, ?)", {key, value}));
    }

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

    void getBoolReadsOnlyTheExactTrueTexts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("defaultValue");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1") << "1" << false << true;
        QTest::newRow("true") << "true" << false << true;
        QTest::newRow("yes") << "yes" << false << true;
        QTest::newRow("capital True") << "True" << true << false;
        QTest::newRow("YES") << "YES" << true << false;
        QTest::newRow("0") << "0" << true << false;
        QTest::newRow("2") << "2" << true << false;
        QTest::newRow("empty") << "" << true << false;
    }
    void getBoolReadsOnlyTheExactTrueTexts()
    {
        QFETCH(QString, stored);
        QFETCH(bool, defaultValue);
        QFETCH(bool, expected);
        store("flag", stored);
        QCOMPARE(m_prefs->getBool("flag", defaultValue), expected);
    }

    void getIntFallsBackOnAnythingButADecimalInteger_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "42" << 42;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("digits then letters") << "12abc" << 5;
        QTest::newRow("hex") << "0x10" << 5;
        QTest::newRow("fraction") << "1.5" << 5;
        QTest::newRow("word") << "dark" << 5;
        QTest::newRow("empty") << "" << 5;
        QTest::newRow("too large") << "99999999999" << 5;
    }
    void getIntFallsBackOnAnythingButADecimalInteger()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        store("number", stored);
        QCOMPARE(m_prefs->getInt("number", 5), expected);
    }

    void absentKeysReadAsDefaults()
    {
        QVERIFY(!m_prefs->get("nothing"));
        QCOMPARE(m_prefs->getString("nothing", "system"), QString("system"));
        QCOMPARE(m_prefs->getBool("nothing", true), true);
        QCOMPARE(m_prefs->getBool("nothing", false), false);
        QCOMPARE(m_prefs->getInt("nothing", 5), 5);
        // A stored empty text is present, not absent.
        store("empty", "");
        QCOMPARE(m_prefs->get("empty"), std::optional<QString>(QString("")));
        QCOMPARE(m_prefs->getString("empty", "fallback"), QString(""));
    }

    void typedWritersStoreTheirTextForms()
    {
        m_prefs->setBool("b", true);
        m_prefs->setBool("c", false);
        m_prefs->setInt("i", -120);
        QCOMPARE(scalar(*m_db, "SELECT value FROM preferences WHERE key = 'b'").toString(), QString("1"));
        QCOMPARE(scalar(*m_db, "SELECT value FROM preferences WHERE key = 'c'").toString(), QString("0"));
        QCOMPARE(scalar(*m_db, "SELECT value FROM preferences WHERE key = 'i'").toString(), QString("-120"));
        QCOMPARE(m_prefs->getInt("i", 0), -120);
    }

    void setEmitsOnlyForEffectiveChanges()
    {
        QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
        m_prefs->set("theme_mode", "dark");
        m_prefs->set("theme_mode", "dark");
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), QString("theme_mode"));
        m_prefs->set("theme_mode", "light");
        QCOMPARE(changed.size(), 2);
        QCOMPARE(m_prefs->getString("theme_mode", "system"), QString("light"));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM preferences").toInt(), 1);

        m_prefs->setBool("close_to_tray", true);
        m_prefs->setBool("close_to_tray", true);
        QCOMPARE(changed.size(), 3);
    }

    void slotSeesTheNewValueInsideChanged()
    {
        QString seen;
        connect(m_prefs.get(), &PreferencesRepository::changed, this,
                [this, &seen](const QString &key) { seen = m_prefs->getString(key, "none"); });
        m_prefs->set("theme_mode", "dark");
        QCOMPARE(seen, QString("dark"));
        m_prefs->remove("theme_mode");
        QCOMPARE(seen, QString("none"));
    }

    void removeAlwaysEmits()
    {
        m_prefs->set("lastNoteId", "n1");
        QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
        m_prefs->remove("lastNoteId");
        m_prefs->remove("never_stored");
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(1).at(0).toString(), QString("never_stored"));
        QVERIFY(!m_prefs->get("lastNoteId"));
    }

    void failingStatementsReadAsDefaultsAndEmitNothing()
    {
        m_prefs->set("auto_sync", "0");
        QVERIFY(run(*m_db, "DROP TABLE preferences"));
        QSignalSpy changed(m_prefs.get(), &PreferencesRepository::changed);
        QCOMPARE(m_prefs->getBool("auto_sync", true), true);
        m_prefs->set("auto_sync", "1");
        m_prefs->remove("auto_sync");
        QCOMPARE(changed.size(), 0);
    }
};

VELM_TEST_CORE_MAIN(TestPreferencesRepository)
#include "tst_preferencesrepository.moc"
