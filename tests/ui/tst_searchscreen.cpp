#include "velmtest.h"

#include "appstate.h"
#include "noterepository.h"
#include "notelistwidget.h"
#include "searchscreen.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QUuid>

namespace {

Note makeNote(const QString &text)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

} // namespace

class TestSearchScreen : public QObject
{
    Q_OBJECT

private slots:
    void quickTypingRunsOneSearchForTheLastText()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note match = makeNote(QStringLiteral("abc meeting"));
        QVERIFY(state.notes()->insert(match));
        QVERIFY(state.notes()->insert(makeNote(QStringLiteral("unrelated"))));

        SearchScreen screen(&state);
        QCOMPARE(screen.searchField()->placeholderText(), QStringLiteral("Search all notes..."));
        QSignalSpy searched(&screen, &SearchScreen::searched);
        QElapsedTimer typing;
        typing.start();
        screen.searchField()->setText(QStringLiteral("a"));
        screen.searchField()->setText(QStringLiteral("ab"));
        screen.searchField()->setText(QStringLiteral("abc"));
        QVERIFY(typing.elapsed() < SearchScreen::kDebounceMs);
        QCOMPARE(searched.size(), 0);
        QVERIFY(searched.wait(2000));
        // Give a stray second run the chance to show up.
        QTest::qWait(SearchScreen::kDebounceMs + 100);
        QCOMPARE(searched.size(), 1);
        QCOMPARE(searched.first().at(0).toString(), QStringLiteral("abc"));
        QCOMPARE(screen.noteList()->count(), 1);
        QCOMPARE(screen.noteList()->item(0)->data(NoteListWidget::IdRole).toString(), match.id);
    }

    void blankTextShowsNothingWithoutQuerying()
    {
        AppState state;
        QVERIFY(state.initialize());
        QVERIFY(state.notes()->insert(makeNote(QStringLiteral("anything"))));
        SearchScreen screen(&state);
        QSignalSpy searched(&screen, &SearchScreen::searched);
        screen.searchField()->setText(QStringLiteral("   "));
        QVERIFY(searched.wait(2000));
        // The repository answers blank text with every note; the list stays empty.
        QVERIFY(!state.notes()->search(QStringLiteral("   ")).isEmpty());
        QCOMPARE(searched.first().at(0).toString(), QString());
        QCOMPARE(screen.noteList()->count(), 0);
    }

    void selectingMakesTheNoteCurrent()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note note = makeNote(QStringLiteral("zebra crossing"));
        QVERIFY(state.notes()->insert(note));
        SearchScreen screen(&state);
        screen.searchField()->setText(QStringLiteral("zebra"));
        screen.refresh();
        QCOMPARE(screen.noteList()->count(), 1);
        screen.noteList()->setCurrentRow(0);
        QCOMPARE(state.currentNoteId(), note.id);
    }

    void focusSearchSelectsTheWholeText()
    {
        AppState state;
        QVERIFY(state.initialize());
        SearchScreen screen(&state);
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        screen.searchField()->setText(QStringLiteral("old query"));
        screen.searchField()->deselect();
        screen.focusSearch();
        QCOMPARE(screen.searchField()->selectedText(), QStringLiteral("old query"));
    }
};

VELM_TEST_MAIN(TestSearchScreen)
#include "tst_searchscreen.moc"
