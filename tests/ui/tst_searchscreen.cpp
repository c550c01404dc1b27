#include "velmtest.h"

#include "appstatefixture.h"
#include "notelistwidget.h"
#include "searchscreen.h"

#include <QLineEdit>
#include <QSignalSpy>

using namespace VelmTest;

class TestSearchScreen : public QObject
{
    Q_OBJECT

private slots:
    void quickTypingRunsOneSearchForTheLastText()
    {
        auto state = emptyState();
        const Note match = addNote(*state, "abc meeting");
        addNote(*state, "unrelated");
        SearchScreen screen(state.get());
        QSignalSpy searched(&screen, &SearchScreen::searched);
        for (const char *text : {"a", "ab", "abc"})
            screen.searchField()->setText(text);
        QCOMPARE(searched.size(), 0);
        QVERIFY(searched.wait(2000));
        QCOMPARE(screen.noteList()->count(), 1);
        QCOMPARE(screen.noteList()->idAt(0), match.id);

        // Choosing a result makes it the current note.
        screen.noteList()->setCurrentRow(0);
        QCOMPARE(state->currentNoteId(), match.id);

        // A stray second run for "abc" would come before the next text's own.
        screen.searchField()->setText("abcd");
        QVERIFY(searched.wait(2000));
        QCOMPARE(searched.size(), 2);
        QCOMPARE(searched.at(0).at(0).toString(), QStringLiteral("abc"));
        QCOMPARE(searched.at(1).at(0).toString(), QStringLiteral("abcd"));
    }

    void blankTextShowsNothingWithoutQuerying()
    {
        auto state = emptyState();
        addNote(*state, "anything");
        SearchScreen screen(state.get());
        QSignalSpy searched(&screen, &SearchScreen::searched);
        screen.searchField()->setText("   ");
        QVERIFY(searched.wait(2000));
        // The repository answers blank text with every note; the list stays empty.
        QCOMPARE(searched.first().at(0).toString(), QString());
        QCOMPARE(screen.noteList()->count(), 0);
    }

    void focusSearchSelectsTheWholeText()
    {
        auto state = emptyState();
        SearchScreen screen(state.get());
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        screen.searchField()->setText("old query");
        screen.searchField()->deselect();
        screen.focusSearch();
        QCOMPARE(screen.searchField()->selectedText(), QStringLiteral("old query"));
    }
};

VELM_TEST_MAIN(TestSearchScreen)
#include "tst_searchscreen.moc"
