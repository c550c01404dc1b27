#include "velmtest.h"

#include "database.h"
#include "preferencesrepository.h"
#include "textformat.h"
#include "thememanager.h"

#include <QSignalSpy>

class TestThemeManager : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<PreferencesRepository> m_prefs;

    static QColor base() { return QApplication::palette().color(QPalette::Active, QPalette::Base); }


private slots:
    void init()
    {
        static int run = 0;
        qputenv("NOTES_DATA_DIR", (qEnvironmentVariable("XDG_DATA_HOME") + "/theme" + QString::number(++run)).toUtf8());
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(Database::defaultDatabasePath()));
        QVERIFY(m_db->migrate());
        m_prefs = std::make_unique<PreferencesRepository>(m_db.get());
    }
    void cleanup()
    {
        m_prefs.reset();
        m_db.reset();
    }

    void modeTextIsExact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("stored");
        QTest::newRow("light") << "light" << int(ThemeManager::Light) << "light";
        QTest::newRow("dark") << "dark" << int(ThemeManager::Dark) << "dark";
        QTest::newRow("system") << "system" << int(ThemeManager::System) << "system";
        QTest::newRow("empty") << "" << int(ThemeManager::System) << "system";
        QTest::newRow("capitalised") << "Dark" << int(ThemeManager::System) << "system";
        QTest::newRow("junk") << "purple" << int(ThemeManager::System) << "system";
    }
    void modeTextIsExact()
    {
        QFETCH(QString, text);
        QFETCH(int, mode);
        QFETCH(QString, stored);
        ThemeManager theme(m_prefs.get());
        QSignalSpy changed(&theme, &ThemeManager::themeChanged);
        theme.setThemeMode(text);
        QCOMPARE(int(theme.themeMode()), mode);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(m_prefs->get("theme_mode").value_or("<absent>"), stored);
    }

    void systemModeFollowsThePlatform()
    {
        ThemeManager theme(m_prefs.get());
        theme.setSchemeProbe([] { return std::optional<bool>(true); });
        theme.setThemeMode("system");
        const QColor dark = ThemeManager::darkPalette().color(QPalette::Active, QPalette::Base);
        const QColor light = ThemeManager::lightPalette().color(QPalette::Active, QPalette::Base);
        QVERIFY(dark != light);
        QCOMPARE(base(), dark);
        theme.setSchemeProbe([] { return std::optional<bool>(); });
        theme.setThemeMode("system");
        QCOMPARE(base(), light);
        theme.setSchemeProbe([] { return std::optional<bool>(false); });
        theme.setThemeMode("dark");
        QCOMPARE(base(), dark);
    }

    void fontScaleIsClampedStoredAndSignalled_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("below") << 50 << 70;
        QTest::newRow("above") << 500 << 160;
        QTest::newRow("inside") << 120 << 120;
    }
    void fontScaleIsClampedStoredAndSignalled()
    {
        QFETCH(int, requested);
        QFETCH(int, expected);
        ThemeManager theme(m_prefs.get());
        QSignalSpy scale(&theme, &ThemeManager::fontScaleChanged);
        QSignalSpy changed(&theme, &ThemeManager::themeChanged);
        theme.setFontScale(requested);
        QCOMPARE(scale, QList<QVariantList>({{expected}}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(documentFontScale(), expected);
        QCOMPARE(m_prefs->get("fontScale").value_or(QString()), QString::number(expected));
        QCOMPARE(QApplication::font().pointSize(), ThemeManager::scaledPointSize(ThemeManager::baseFont(), expected));
        theme.setFontScale(100);
    }

    void scaledPointSizeRule()
    {
        QFont font;
        font.setPointSize(9);
        QCOMPARE(ThemeManager::scaledPointSize(font, 70), 6);
        font.setPointSize(1);
        QCOMPARE(ThemeManager::scaledPointSize(font, 70), 1);
        font.setPixelSize(13);
        QCOMPARE(ThemeManager::scaledPointSize(font, 160), 16);
    }
};

VELM_TEST_MAIN(TestThemeManager)
#include "tst_thememanager.moc"
