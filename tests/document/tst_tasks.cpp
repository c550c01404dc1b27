#include "velmtest.h"

#include "tasks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

Q_DECLARE_METATYPE(TaskSource)

class TestTasks : public QObject
{
    Q_OBJECT

private:
    const QDateTime m_updated = QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);

    QList<Task> extract(const QString &body) { return extractTasks("note-1", body, m_updated); }

private slots:
    void oneTaskPerLine_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<TaskSource>("source");

        QTest::newRow("checked list item")
            << R"([{"insert":"Passport and ID"},{"attributes":{"list":"checked"},"insert":"\n"}])"
            << "Passport and ID" << true << TaskSource::Checklist;
        QTest::newRow("unchecked list item, trimmed")
            << R"([{"insert":"  Travel insurance docs "},{"attributes":{"list":"unchecked"},"insert":"\n"}])"
            << "Travel insurance docs" << false << TaskSource::Checklist;
        QTest::newRow("check list wins over a box typed in it")
            << R"([{"insert":"- [x] y"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"
            << "- [x] y" << false << TaskSource::Checklist;
        QTest::newRow("ticked box, capital X")
            << R"([{"insert":"- [X] call back\n"}])" << "call back" << true << TaskSource::MarkdownCheckbox;
        QTest::newRow("ticked box, no spaces")
            << R"([{"insert":"-[x]done\n"}])" << "done" << true << TaskSource::MarkdownCheckbox;
        QTest::newRow("empty box with spaces inside")
            << R"([{"insert":"  - [  ]   open item  \n"}])" << "open item" << false << TaskSource::MarkdownCheckbox;
        QTest::newRow("box on a bullet line is still a box")
            << R"([{"insert":"- [ ] x"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
            << "x" << false << TaskSource::MarkdownCheckbox;
        QTest::newRow("todo prefix in any case")
            << R"([{"insert":"  todo: water plants \n"}])" << "water plants" << false << TaskSource::TodoPrefix;
        QTest::newRow("TODO without space")
            << R"([{"insert":"TODO:ship it"},{"attributes":{"header":2},"insert":"\n"}])"
            << "ship it" << false << TaskSource::TodoPrefix;
    }

    void oneTaskPerLine()
    {
        QFETCH(QString, body);
        QFETCH(QString, text);
        QFETCH(bool, completed);
        QFETCH(TaskSource, source);

        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QList<Task> tasks = extract(body);
        QCOMPARE(tasks.size(), 1);
        const Task &task = tasks.first();
        QCOMPARE(task.text, text);
        QCOMPARE(task.isCompleted, completed);
        QCOMPARE(task.source, source);
        QCOMPARE(task.id, taskId("note-1", 0, text));
        QCOMPARE(task.noteUpdatedAt, m_updated);
        QVERIFY(task.extractedAt >= before && task.extractedAt.timeSpec() == Qt::UTC);
    }

    void linesWithoutTaskText_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("check list item of spaces") << R"([{"insert":"   "},{"attributes":{"list":"checked"},"insert":"\n"}])";
        QTest::newRow("empty check list item") << R"([{"insert":"\n"},{"attributes":{"list":"unchecked"},"insert":"\n"}])";
        QTest::newRow("box without text") << R"([{"insert":"- [x]    \n- [ ]\n"}])";
        QTest::newRow("todo without text") << R"([{"insert":"TODO:   \n"}])";
        QTest::newRow("not quite a box") << R"([{"insert":"* [ ] x\n-- [y] z\n[ ] w\n"}])";
        QTest::newRow("todo not at start") << R"([{"insert":"remember TODO: x\nTODO x\n"}])";
        QTest::newRow("line without line end") << R"([{"insert":"a\nTODO: tail"}])";
        QTest::newRow("empty body") << "";
        QTest::newRow("plain text body") << "TODO: not json\n";
        QTest::newRow("object body") << R"({"insert":"TODO: x\n"})";
    }

    void linesWithoutTaskText()
    {
        QFETCH(QString, body);
        QCOMPARE(extract(body).size(), 0);
    }

    void lineIndexAndOffsetFollowTheDocument()
    {
        // Embeds take one position but no line; retain and delete take nothing.
        const QString body = R"([{"retain":4},{"insert":"Intro\n"},{"insert":{"velmora-notes-attachment":"a"}},)"
                             R"({"insert":"Buy"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
                             R"({"delete":2},{"insert":"x\n- [x] y\nTODO: z"},{"attributes":{"bold":true},"insert":" now"},)"
                             R"({"insert":"\n"},{"insert":{"divider":true}},{"insert":"\n"},)"
                             R"({"insert":"Later"},{"attributes":{"list":"checked"},"insert":"\n"}])";
        QStringList found;
        for (const Task &task : extract(body))
            found << QStringLiteral("%1@%2:%3").arg(task.text).arg(task.lineIndex).arg(task.charOffset);
        // "Intro\n" is 0..5, the attachment 6; the divider 33, its line end 34.
        QCOMPARE(found, QStringList({"Buy@1:7", "y@3:13", "z now@4:21", "Later@6:35"}));
    }

    // The first 8 hex digits of the MD5 of the text's UTF-8 (oneTaskPerLine checks the rest).
    void idsAreStable()
    {
        QCOMPARE(taskId("n", 12, "call back"), QString("n_12_d0d87c6e"));
        QCOMPARE(taskId("n", 0, QString::fromUtf8("Milch kaufen ü")), QString("n_0_1590e045"));
    }

    // Only a line end alone in its insert is rewritten; anything else is refused (empty).
    void writeBack_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<QString>("written");
        const QString head = R"([{"insert":"Plan"},{"attributes":{"header":1},"insert":"\n"},{"insert":{"divider":true}},{"insert":"\n"},{"insert":"Buy"},)";
        QTest::newRow("tick, other attributes kept")
            << head + R"({"attributes":{"indent":1,"list":"unchecked"},"insert":"\n"}])" << 2 << true
            << head + R"({"attributes":{"indent":1,"list":"checked"},"insert":"\n"}])";
        QTest::newRow("untick") << head + R"({"attributes":{"list":"checked"},"insert":"\n"}])" << 2 << false
                                << head + R"({"attributes":{"list":"unchecked"},"insert":"\n"}])";
        QTest::newRow("line end without attributes gets them")
            << R"([{"insert":"a\nb"},{"insert":"\n"}])" << 1 << false
            << R"([{"insert":"a\nb"},{"attributes":{"list":"unchecked"},"insert":"\n"}])";
        QTest::newRow("newline inside a longer insert")
            << R"([{"attributes":{"list":"unchecked"},"insert":"Buy milk\n"}])" << 0 << true << "";
        QTest::newRow("earlier newline of a multi-line insert")
            << R"([{"insert":"a\nb\nc"},{"attributes":{"list":"unchecked"},"insert":"\n"}])" << 1 << true << "";
        QTest::newRow("line past the end") << R"([{"insert":"a"},{"insert":"\n"}])" << 1 << true << "";
        QTest::newRow("negative line") << R"([{"insert":"a"},{"insert":"\n"}])" << -1 << true << "";
        QTest::newRow("not json") << "Buy milk" << 0 << true << "";
        QTest::newRow("object") << R"({"insert":"\n"})" << 0 << true << "";
        QTest::newRow("empty") << "" << 0 << true << "";
    }

    void writeBack()
    {
        QFETCH(QString, body);
        QFETCH(int, line);
        QFETCH(bool, completed);
        QFETCH(QString, written);
        QCOMPARE(setTaskCompleted(body, line, completed), written);
        if (!written.isEmpty())
            QCOMPARE(extract(written).last().isCompleted, completed);
    }
};

VELM_TEST_CORE_MAIN(TestTasks)
#include "tst_tasks.moc"
