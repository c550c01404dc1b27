#include "velmtest.h"

#include "findbar.h"
#include "noteeditor.h"
#include "uitestkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString bodyOf(const QString &text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{QJsonObject{{"insert", text + "\n"}}}).toJson(QJsonDocument::Compact));
}

} // namespace

// The find bar over a real editor, driven as a user does: typing the query,
// Return and Shift+Return in it, F3/Shift+F3 (the window's commands), Replace
// and Replace All.
class TestFindBar : public QObject
{
    Q_OBJECT

private:
    QWidget m_host;
    NoteEditor *m_editor = nullptr;
    FindBar *m_bar = nullptr;

private slots:
    void init()
    {
        m_editor = new NoteEditor(&m_host);
        m_bar = new FindBar(m_editor, &m_host);
        auto *layout = new QVBoxLayout(&m_host);
        layout->addWidget(m_bar);
        layout->addWidget(m_editor);
        QVERIFY(VelmTest::showExposed(&m_host));
    }
    void cleanup()
    {
        delete m_host.layout();
        delete m_bar;
        delete m_editor;
    }

    void steps_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("selected"); // start of the selected match, -1 for none
        QTest::addColumn<QString>("text");
        const QString text = "apple pear\napple plum\nApple";
        const auto row = [&](const char *name, const char *query, const QStringList &steps, const char *count,
                             int selected, const QString &after) {
            QTest::newRow(name) << QString(query) << steps << QString(count) << selected << after;
        };
        row("typing finds the first match and counts all, any case", "apple", {}, "1 of 3", 0, text);
        row("return and F3 go on, wrapping at the end", "apple", {"Return", "F3", "Return"}, "1 of 3", 0, text);
        row("shift+return and shift+F3 go back, wrapping", "apple", {"Shift+Return", "Shift+F3"}, "2 of 3", 11, text);
        row("no match", "cherry", {"F3"}, "No results", -1, text);
        row("replace takes the current match and goes to the next", "apple", {"replace:fig"}, "1 of 2", 9,
            "fig pear\napple plum\nApple");
        row("replace all in one step", "apple", {"replaceAll:fig"}, "3 replaced", -1, "fig pear\nfig plum\nfig");
        row("replace all is one undo step", "apple", {"replaceAll:fig", "undo"}, "2 of 3", -1, text);
    }
    void steps()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, steps);
        QFETCH(int, selected);
        m_editor->loadNote("n", bodyOf("apple pear\napple plum\nApple"), true);
        m_bar->open(false);
        QTest::keyClicks(m_bar->findField(), query);
        for (const QString &step : steps) {
            if (step == "F3" || step == "Shift+F3") {
                step == "F3" ? m_bar->findNext() : m_bar->findPrevious();
            } else if (step.startsWith("replace")) {
                m_bar->open(true);
                m_bar->replaceField()->setText(step.section(':', 1));
                const QString button = step.startsWith("replaceAll") ? "Replace All" : "Replace";
                const auto buttons = m_bar->findChildren<QPushButton *>();
                const auto it = std::find_if(buttons.cbegin(), buttons.cend(),
                                             [&](const QPushButton *b) { return b->text() == button; });
                QVERIFY(it != buttons.cend() && (*it)->isVisible());
                QTest::mouseClick(*it, Qt::LeftButton);
            } else if (step == "undo") {
                m_editor->undo();
                QTRY_COMPARE(m_bar->matchCount(), 3);
                m_bar->findField()->setText(QString());
                QTest::keyClicks(m_bar->findField(), query);
            } else {
                const QKeySequence key(step);
                QTest::keyClick(m_bar->findField(), key[0].key(), key[0].keyboardModifiers());
            }
        }
        QTEST(m_editor->toPlainText(), "text");
        QTEST(m_bar->countText(), "count");
        if (selected >= 0) {
            QCOMPARE(m_editor->textCursor().selectionStart(), selected);
            QCOMPARE(m_editor->textCursor().selectedText().size(), query.size());
        }
        // Every match is highlighted.
        QCOMPARE(m_editor->extraSelections().size(), qsizetype(m_bar->matchCount()));
    }

    // Words of a search that opened the note: where they start words, the bar closed.
    void searchTermsAreHighlightedUntilTheNextNote()
    {
        m_editor->loadNote("n", bodyOf("planning the apple harvest\nexplanation apples"), true);
        m_bar->showSearchTerms(R"(plan* OR "apple" NOT)");
        QVERIFY(!m_bar->isVisible());
        QList<int> starts;
        for (const QTextEdit::ExtraSelection &s : m_editor->extraSelections())
            starts << s.cursor.selectionStart();
        QCOMPARE(starts, QList<int>({0, 13, 39}));
        QCOMPARE(m_editor->textCursor().position(), 0);
        m_editor->loadNote("m", bodyOf("plan"), true);
        QVERIFY(m_editor->extraSelections().isEmpty());
    }
};

VELM_TEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
