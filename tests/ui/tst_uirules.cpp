#include "velmtest.h"

#include "autosavescheduler.h"
#include "editorrules.h"
#include "mainwindowrules.h"
#include "relativetime.h"
#include "statusbar.h"
#include "windowplacement.h"

#include <QLocale>

using namespace EditorRules;

// The rules of the interface that need no window: texts of times and counts,
// window placement and pane widths, autosave timing, pasted text, link and
// attachment safety.
class TestUiRules : public QObject
{
    Q_OBJECT

private:
    // Wednesday, 18 March 2026, 15:00 local time.
    const QDateTime m_now{QDate(2026, 3, 18), QTime(15, 0)};

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void textForAge_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");

        QTest::newRow("invalid") << QDateTime() << QString();
        QTest::newRow("59 s") << m_now.addSecs(-59) << "just now";
        QTest::newRow("60 s") << m_now.addSecs(-60) << "1m ago";
        QTest::newRow("59 min 59 s") << m_now.addSecs(-3599) << "59m ago";
        QTest::newRow("1 h") << m_now.addSecs(-3600) << "1h ago";
        QTest::newRow("23 h 59 min") << m_now.addSecs(-86399) << "23h ago";
        QTest::newRow("yesterday evening, under a day")
            << QDateTime(QDate(2026, 3, 17), QTime(16, 0)) << "23h ago";
        QTest::newRow("yesterday morning") << QDateTime(QDate(2026, 3, 17), QTime(9, 0)) << "Yesterday";
        QTest::newRow("six days ago") << QDateTime(QDate(2026, 3, 12), QTime(23, 0)) << "Thursday";
        QTest::newRow("seven days ago") << QDateTime(QDate(2026, 3, 11), QTime(23, 0)) << "Mar 11";
        QTest::newRow("same year") << QDateTime(QDate(2026, 1, 5), QTime(8, 0)) << "Jan 5";
        QTest::newRow("other year") << QDateTime(QDate(2025, 12, 30), QTime(8, 0)) << "Dec 30, 2025";
        QTest::newRow("seconds ahead") << m_now.addSecs(10) << "Mar 18";
        QTest::newRow("future other year") << QDateTime(QDate(2027, 1, 2), QTime(8, 0)) << "Jan 2, 2027";
    }
    void textForAge()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        QCOMPARE(relativeTimeText(time, m_now), expected);
        // UTC times are the same instants.
        QCOMPARE(relativeTimeText(time.toUTC(), m_now), expected);
        QCOMPARE(relativeTimeText(time.toUTC(), m_now.toUTC()), expected);
    }

    void notebookInfoTakesNoteOnlyForExactlyOne()
    {
        StatusBar bar;
        for (const auto &[count, expected] : {std::pair{0, "Work (0 notes)"}, std::pair{1, "Work (1 note)"},
                                              std::pair{2, "Work (2 notes)"}, std::pair{-1, "Work"}}) {
            bar.setNotebookInfo(QStringLiteral("Work"), count);
            QCOMPARE(bar.notebookText(), QString::fromLatin1(expected));
        }
    }

    void wordCountThenSavedStateReadsAsOneLine()
    {
        StatusBar bar;
        // The editor reports "unsaved" just before the new count.
        bar.setSavedState(false);
        bar.setWordCount(12);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12"));
        bar.setSavedState(true);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12 · Saved"));
        bar.setSavedState(false);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 12 · Saving..."));
        bar.setWordCount(13);
        bar.setSavedState(true);
        bar.setSavedState(true);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Words: 13 · Saved"));

        // Without a word count the saved state stands alone.
        bar.setWordCount(-1);
        QCOMPARE(bar.wordCountLabelText(), QString());
        bar.setSavedState(false);
        QCOMPARE(bar.wordCountLabelText(), QStringLiteral("Saving..."));
        // Text that merely contains the word keeps it.
        QCOMPARE(withSavedState(QStringLiteral("Unsaved"), true), QStringLiteral("Unsaved · Saved"));
    }

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

    void storedSplitterSizesNeedThreeNonNegativeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("three") << "180,300,900" << QList<int>{180, 300, 900};
        QTest::newRow("empty parts skipped") << "180,,300,900," << QList<int>{180, 300, 900};
        QTest::newRow("two") << "180,300" << QList<int>();
        QTest::newRow("negative") << "180,-5,900" << QList<int>();
        QTest::newRow("not a number") << "180,wide,900" << QList<int>();
        QTest::newRow("nothing") << "" << QList<int>();
    }
    void storedSplitterSizesNeedThreeNonNegativeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        QCOMPARE(parseSplitterSizes(text), expected);
    }

    void paneWidthsPerLayout_data()
    {
        QTest::addColumn<bool>("focus");
        QTest::addColumn<bool>("sidebar");
        QTest::addColumn<QList<int>>("normal");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("expected");
        const QList<int> stored{180, 300, 900};
        QTest::newRow("normal, stored") << false << true << stored << 1400 << QList<int>{180, 300, 920};
        QTest::newRow("normal, defaults") << false << true << QList<int>() << 1280 << QList<int>{200, 260, 820};
        QTest::newRow("sidebar hidden") << false << false << stored << 1400 << QList<int>{0, 300, 1100};
        QTest::newRow("focus") << true << true << stored << 1400 << QList<int>{0, 0, 1400};
        QTest::newRow("narrow window keeps the editor") << false << true << stored << 450 << QList<int>{180, 300, 100};
    }
    void paneWidthsPerLayout()
    {
        QFETCH(bool, focus);
        QFETCH(bool, sidebar);
        QFETCH(QList<int>, normal);
        QFETCH(int, width);
        QTEST(paneWidths(focus, sidebar, normal, width), "expected");
    }

    void normalWidthsKeepOnlyReadablePanes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("minSidebar");
        QTest::addColumn<int>("minList");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("readable, kept") << QList<int>{150, 200, 900} << 1366 << 120 << 180 << QList<int>{150, 200, 900};
        QTest::newRow("squeezed sidebar") << QList<int>{70, 200, 400} << 1366 << 120 << 180 << QList<int>{200, 260, 906};
        QTest::newRow("squeezed list") << QList<int>{150, 70, 400} << 1366 << 120 << 180 << QList<int>{200, 260, 906};
        QTest::newRow("none stored") << QList<int>() << 1000 << 0 << 0 << QList<int>{200, 260, 540};
        QTest::newRow("editor keeps a floor") << QList<int>() << 600 << 0 << 0 << QList<int>{200, 260, 400};
        QTest::newRow("minimums above defaults") << QList<int>{} << 1366 << 240 << 300 << QList<int>{240, 300, 826};
    }
    void normalWidthsKeepOnlyReadablePanes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(int, width);
        QFETCH(int, minSidebar);
        QFETCH(int, minList);
        QTEST(normalPaneWidths(stored, width, {minSidebar, minList}), "expected");
    }

    void metaTextMentionsWordsOnlyWhenThereAreSome()
    {
        QCOMPARE(noteMetaText(m_now.addSecs(-10), 0, m_now), QStringLiteral("Updated just now"));
        QCOMPARE(noteMetaText(m_now.addSecs(-7200), 1, m_now), QStringLiteral("Updated 2h ago · 1 words"));
    }

    void rowAfterRemovalStaysInRange()
    {
        QCOMPARE(rowAfterRemoval(2, 5), 2); // the next note moved up into the row
        QCOMPARE(rowAfterRemoval(4, 4), 3); // the last row went: select the new last
        QCOMPARE(rowAfterRemoval(0, 0), -1);
        QCOMPARE(rowAfterRemoval(-1, 3), 0);
    }

    void timing_data()
    {
        // Steps "e" edit, "f" failed save, "s" stored, "r" reset, each at a time
        // in ms; due is when the next save is asked for (-1: none).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("due");
        QTest::addColumn<bool>("failing");
        QTest::newRow("a pause saves") << "e0" << 1000 << false;
        QTest::newRow("typing moves the save") << "e0 e700" << 1700 << false;
        QTest::newRow("typing never pausing saves by 5 s") << "e0 e900 e1800 e2700 e3600 e4500" << 5000 << false;
        QTest::newRow("the longest wait starts after a save") << "e0 e900 s1800 e4000 e4900" << 5900 << false;
        QTest::newRow("a failure retries later") << "e0 f1000" << 3000 << true;
        QTest::newRow("retries back off") << "e0 f1000 f3000 f7000" << 15000 << true;
        QTest::newRow("back-off stops at a minute") << "e0 f0 f0 f0 f0 f0 f0 f0" << 60000 << true;
        QTest::newRow("an edit after a failure retries soon") << "e0 f1000 f3000 e4000" << 5000 << true;
        QTest::newRow("typing does not delay a retry") << "e0 f1000 e2500" << 3000 << true;
        QTest::newRow("typing after a failure saves by 5 s") << "e0 f0 f0 f0 e500 e1400 e2300 e3200 e4100"
                                                              << 5000 << true;
        QTest::newRow("a stored save ends the retries") << "e0 f1000 s3000" << -1 << false;
        QTest::newRow("a reload drops what was due") << "e0 f1000 r1500" << -1 << false;
    }
    void timing()
    {
        QFETCH(QString, steps);
        QFETCH(int, due);
        QFETCH(bool, failing);
        qint64 now = 0;
        AutosaveScheduler scheduler;
        scheduler.setClock([&now] { return now; });
        for (const QString &step : steps.split(' ')) {
            now = step.mid(1).toLongLong();
            switch (step.at(0).toLatin1()) {
            case 'e': scheduler.edited(); break;
            case 'f': scheduler.saveFailed(); break;
            case 's': scheduler.saveSucceeded(); break;
            case 'r': scheduler.reset(); break;
            }
        }
        QCOMPARE(scheduler.dueIn() < 0 ? -1 : int(now + scheduler.dueIn()), due);
        QCOMPARE(scheduler.isFailing(), failing);
        QCOMPARE(scheduler.isSaved(), due < 0);
    }

    void countsWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("runs of spaces and a newline") << "  one   two\n three  " << 3;
        QTest::newRow("only white space") << " \n\t  " << 0;
        QTest::newRow("tabs and newlines only between") << "a\tb\nc" << 3;
        QTest::newRow("vertical tab and form feed") << "a\vb\fc\rd" << 4;
        QTest::newRow("no-break space inside a word") << QString("a\u00a0b c") << 2;
        QTest::newRow("no-break space around") << QString("\u00a0word\u00a0") << 1;
    }
    void countsWords()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(wordCount(text), count);
    }

    // Pasted HTML and Markdown, and attachment types that open without asking.
    void recognises_data()
    {
        QTest::addColumn<char>("rule");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("html: paragraph tag") << 'h' << "<p>Hello</p>" << true;
        QTest::newRow("html: doctype, any case") << 'h' << "  <!DOCTYPE html><title>x</title>" << true;
        QTest::newRow("html: lone less-than in a sentence") << 'h' << "a < b is true" << false;
        QTest::newRow("html: starts with an unknown tag") << 'h' << "<foo>bar</foo>" << false;
        QTest::newRow("html: comparison at the start") << 'h' << "<3 love" << false;
        QTest::newRow("html: empty") << 'h' << "   " << false;
        QTest::newRow("md: heading") << 'm' << "# Title\nbody" << true;
        QTest::newRow("md: heading on a later line") << 'm' << "intro\n## Part" << true;
        QTest::newRow("md: bullet") << 'm' << "- item" << true;
        QTest::newRow("md: numbered") << 'm' << "12. twelve" << true;
        QTest::newRow("md: quote") << 'm' << "> said" << true;
        QTest::newRow("md: table row") << 'm' << "| a | b |" << true;
        QTest::newRow("md: link") << 'm' << "see [docs](http://x)" << true;
        QTest::newRow("md: rule") << 'm' << "---" << true;
        QTest::newRow("md: fence") << 'm' << "```cpp\nint x;\n```" << true;
        QTest::newRow("md: hash without space") << 'm' << "#hashtag here" << false;
        QTest::newRow("md: deeply indented heading") << 'm' << "     # not" << false;
        QTest::newRow("md: plain sentence") << 'm' << "Just words, nothing else." << false;
        QTest::newRow("md: empty") << 'm' << "" << false;
        QTest::newRow("opens: picture") << 'a' << "photo.JPG" << true;
        QTest::newRow("opens: pdf") << 'a' << "report.pdf" << true;
        QTest::newRow("opens: program") << 'a' << "setup.exe" << false;
        QTest::newRow("opens: javascript") << 'a' << "invoice.js" << false;
        QTest::newRow("opens: double extension") << 'a' << "report.pdf.exe" << false;
        QTest::newRow("opens: no extension") << 'a' << "README" << false;
        QTest::newRow("opens: dot file") << 'a' << ".pdf" << false;
        QTest::newRow("opens: path hides the type") << 'a' << "x.exe/clean.pdf" << true;
        QTest::newRow("opens: trailing dot") << 'a' << "setup.exe." << false;
    }
    void recognises()
    {
        QFETCH(char, rule);
        QFETCH(QString, text);
        const bool result = rule == 'h' ? looksLikeHtml(text)
            : rule == 'm'               ? looksLikeMarkdown(text)
                                        : attachmentOpensWithoutAsking(text);
        QTEST(result, "expected");
    }

    void linkTargets_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("direct");
        QTest::newRow("scheme-less") << "example.com/a" << "https://example.com/a" << true;
        QTest::newRow("http") << "http://example.com" << "http://example.com" << true;
        QTest::newRow("upper-case https") << "HTTPS://example.com" << "https://example.com" << true;
        QTest::newRow("mailto") << "mailto:a@b.c" << "mailto:a@b.c" << true;
        QTest::newRow("file") << "file:///etc/passwd" << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << "javascript:alert(1)" << false;
        QTest::newRow("custom handler") << "ms-settings:privacy" << "ms-settings:privacy" << false;
    }
    void linkTargets()
    {
        QFETCH(QString, href);
        QFETCH(QString, url);
        QFETCH(bool, direct);
        const QUrl target = linkTarget(href);
        QCOMPARE(target.toString(), url);
        QCOMPARE(opensWithoutAsking(target), direct);
    }

    void attachmentNamesStayInsideTheTemporaryFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("ordinary") << "report.pdf" << "report.pdf";
        QTest::newRow("climbing out") << "../../.bashrc" << "bashrc";
        QTest::newRow("windows path") << "..\\..\\Windows\\evil.exe" << "evil.exe";
        QTest::newRow("absolute") << "/etc/passwd" << "passwd";
        QTest::newRow("forbidden characters") << "a:b*c?.txt" << "abc.txt";
        QTest::newRow("device name") << "CON" << "id-1.bin";
        QTest::newRow("device with extension") << "nul.txt" << "id-1.bin";
        QTest::newRow("dots only") << ".." << "id-1.bin";
        QTest::newRow("trailing separator") << "folder/" << "id-1.bin";
        QTest::newRow("empty") << "" << "id-1.bin";
        QTest::newRow("control character") << QString("a\nb") << "ab";
    }
    void attachmentNamesStayInsideTheTemporaryFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(safeAttachmentFileName(name, QStringLiteral("id-1")), safe);

        const QString path = attachmentTempPath(QStringLiteral("/private"), QStringLiteral("id-1"), name);
        QCOMPARE(QFileInfo(path).absolutePath(), QStringLiteral("/private/id-1"));
    }

    void climbingAttachmentIdsStayInsideToo()
    {
        for (const QString &id : {QStringLiteral(".."), QStringLiteral("../../x"), QStringLiteral("a/b")}) {
            const QString path = QDir::cleanPath(attachmentTempPath(QStringLiteral("/private"), id, "f.txt"));
            QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).absolutePath(), QStringLiteral("/private"));
        }
    }

    void formatsSizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << qint64(512) << "0.5 KB";
        QTest::newRow("kilobytes") << qint64(12800) << "12.5 KB";
        QTest::newRow("just below a megabyte") << qint64(1024 * 1024 - 1) << "1024.0 KB";
        QTest::newRow("megabytes") << qint64(3 * 1024 * 1024 + 300 * 1024) << "3.3 MB";
    }
    void formatsSizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatAttachmentSize(bytes), text);
    }
};

VELM_TEST_MAIN(TestUiRules)
#include "tst_uirules.moc"
