#include "velmtest.h"

#include "launchoptions.h"

class TestLaunchOptions : public QObject
{
    Q_OBJECT
private slots:
    void messageFollowsTheRules_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("newNote");
        QTest::addColumn<QString>("noteId");

        QTest::newRow("nothing") << QStringList{"app"} << "focus" << false << "";
        QTest::newRow("new note") << QStringList{"app", "--new-note"} << "new-note" << true << "";
        QTest::newRow("new note wins") << QStringList{"app", "--note", "abc", "--new-note"} << "new-note" << true << "abc";
        QTest::newRow("note id") << QStringList{"app", "x", "--note", "abc", "y"} << "note:abc" << false << "abc";
        QTest::newRow("first note wins") << QStringList{"app", "--note", "a", "--note", "b"} << "note:a" << false << "a";
        QTest::newRow("note last") << QStringList{"app", "--note"} << "focus" << false << "";
        QTest::newRow("case sensitive") << QStringList{"app", "--NEW-NOTE", "--Note", "x"} << "focus" << false << "";
        QTest::newRow("program name ignored") << QStringList{"--new-note"} << "focus" << false << "";
        QTest::newRow("id may look like a flag") << QStringList{"app", "--note", "--other"} << "note:--other" << false
                                                 << "--other";
    }
    void messageFollowsTheRules()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const LaunchOptions options = LaunchOptions::parse(arguments);
        QCOMPARE(options.instanceMessage(), message);
        QTEST(options.newNote, "newNote");
        QTEST(options.noteId, "noteId");
    }
};

VELM_TEST_CORE_MAIN(TestLaunchOptions)
#include "tst_launchoptions.moc"
