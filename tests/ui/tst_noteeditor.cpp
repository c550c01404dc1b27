#include "editor/editorfixture.h"

#include "attachmenttempfolder.h"
#include "editortoolbar.h"
#include "imagelightbox.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QJsonDocument>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextTable>

class TestNoteEditor : public QObject, protected EditorFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The timing itself is AutosaveScheduler's (tst_uirules).
    void keystrokesAreSavedOnceAfterThePauseButNotWithoutANote()
    {
        QSignalSpy modified(&editor(), &NoteEditor::noteModified);
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy words(&editor(), &NoteEditor::wordCountChanged);
        // No note: read-only, and even a direct change to the document is no edit.
        QVERIFY(editor().isReadOnly());
        editor().textCursor().insertText("direct");
        QVERIFY(saved.isEmpty());

        load({line("Hello")});
        editor().moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor(), " a b c");
        QCOMPARE(modified.count(), 0);
        QCOMPARE(saved.last().first().toBool(), false);
        QCOMPARE(words.last().first().toInt(), 4);
        QVERIFY(modified.wait(2000));
        QCOMPARE(modified.count(), 1);
        QCOMPARE(saved.last().first().toBool(), true);
        QCOMPARE(delta(), body({line("Hello a b c")}));
    }

    void reloadingTheSameNoteKeepsCursorAndScroll()
    {
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(line(QStringLiteral("Line number %1").arg(i)));
        load(lines);
        QVERIFY(exposed());
        const QString written = delta();
        select(blockStart(150) + 4, blockStart(150) + 4);
        QScrollBar *bar = editor().verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int scroll = bar->value();
        QVERIFY(scroll > 0);

        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy format(&editor(), &NoteEditor::formatStateChanged);
        editor().loadNote("note-1", written);
        QCOMPARE(saved.count() + format.count(), 0);
        QCOMPARE(editor().textCursor().blockNumber(), 150);
        QCOMPARE(bar->value(), scroll);
        // Changed content keeps them too, even scrolled away from the cursor.
        select(blockStart(199) + 3, blockStart(199) + 3);
        const int position = editor().textCursor().position();
        bar->setValue(scroll / 3);
        lines.last() = line("Changed");
        editor().loadNote("note-1", body(lines));
        QCOMPARE(editor().textCursor().position(), position);
        QCOMPARE(bar->value(), scroll / 3);
        // A cursor past the new end is clamped; another note starts at the top.
        editor().loadNote("note-1", body({line("ab")}));
        QCOMPARE(editor().textCursor().position(), 2);
        editor().loadNote("note-2", written);
        QCOMPARE(editor().textCursor().position(), 0);
    }

    void keyCommands_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("cursor");
        using L = QStringList;
        const auto row = [](const char *name, const L &before, int position, const L &steps, const L &after,
                            int cursor = -1, int anchor = -1) {
            QTest::newRow(name) << before << anchor << position << steps << after << cursor;
        };

        const L partlyBold{R"({"attributes":{"bold":true},"insert":"Bo"})", R"({"insert":"ld text"})", line({})};
        row("bold follows the first selected character", partlyBold, 9, {"Ctrl+B"}, {line("Bold text")}, -1, 0);
        row("bold twice", partlyBold, 9, {"Ctrl+B", "Ctrl+B"},
            {R"({"attributes":{"bold":true},"insert":"Bold text"})", line({})}, -1, 0);
        for (const auto &[key, attribute] : {std::pair{"Ctrl+I", "italic"}, std::pair{"Ctrl+U", "underline"},
                                             std::pair{"Ctrl+Shift+X", "strike"}, std::pair{"Ctrl+`", "code"}}) {
            QTest::addRow("%s applies to what is typed next", attribute)
                << L{line("a ")} << -1 << 2 << L{key, "text:xy", key, "text:z"}
                << L{R"({"insert":"a "})", QStringLiteral(R"({"attributes":{"%1":true},"insert":"xy"})").arg(attribute),
                     line("z")}
                << 5;
        }

        const L titleBody{line("Title"), line("Body")};
        row("heading", titleBody, 0, {"Ctrl+2"}, {line("Title", kH2), line("Body")}, 0);
        row("heading cleared with its weight", titleBody, 0, {"Ctrl+2", "Ctrl+0"}, titleBody, 0);
        const L codeAndLink{R"({"insert":"call "})", "{\"attributes\":{\"code\":true},\"insert\":\"run()\"}",
                            R"({"insert":" see "})", linked("docs", "https://x.example")};
        row("heading keeps inline code and links", codeAndLink + L{line({})}, 0, {"Ctrl+3"},
            codeAndLink + L{line({}, R"({"header":3})")});
        const L heading{line("x = 1", kH1)};
        row("code block replaces a heading", heading, 0, {"Ctrl+Shift+`"}, {line("x = 1", R"({"code-block":true})")});
        row("quote replaces a code block", heading, 0, {"Ctrl+Shift+`", "Ctrl+Shift+B"},
            {line("x = 1", R"({"blockquote":true})")});
        row("leaving the code block leaves no code", heading, 0, {"Ctrl+Shift+`", "Ctrl+Shift+B", "Ctrl+Shift+B"},
            {line("x = 1")});
        row("normal text leaves a code block", heading, 0, {"Ctrl+Shift+`", "Ctrl+0"}, {line("x = 1")});
        row("read-only ignores commands", {line("a"), line("b")}, 0, {"read-only", "Ctrl+Shift+K", "Ctrl+1", "text:x"},
            {line("a"), line("b")});
        const L boldX{R"({"attributes":{"bold":true},"insert":"x"})", line({})};
        row("return at the end of a heading gives a body line", {line("Title", kH1)}, 5, {"Return", "Ctrl+B", "text:x"},
            L{line("Title", kH1)} + boldX, 7);
        const L abc{line("a"), line("b"), line("c")};
        row("bullets over a selection", abc, 3, {"Ctrl+Shift+8"}, {line("a", kBullet), line("b", kBullet), line("c")},
            -1, 0);
        row("bullets become numbers", abc, 3, {"Ctrl+Shift+8", "Ctrl+Shift+7"},
            {line("a", kOrdered), line("b", kOrdered), line("c")}, -1, 0);
        row("check list", {line("task")}, 1, {"Ctrl+Shift+9"}, {line("task", kUnchecked)});
        row("check list off a ticked item", {line("task", kChecked)}, 1, {"Ctrl+Shift+9"}, {line("task")});

        // Block moves, duplicates and deletes.
        const L three{line("first", kH1), line("middle"), line("last", kBullet)};
        row("alt+up on the first block", three, 2, {"Alt+Up"}, three, 2);
        row("alt+down on the last block", three, 14, {"Alt+Down"}, three, 14);
        const L pair{line("Heading", kH1), line("item text", kBullet)};
        const L swapped{line("item text", kBullet), line("Heading", kH1)};
        row("alt+up swaps blocks with their formats", pair, 16, {"Alt+Up"}, swapped, 8);
        row("one undo step per move", pair, 16, {"Alt+Up", "Alt+Down", "Ctrl+Z"}, swapped);
        const L numbers{line("one"), line("two", kH2), line("three")};
        row("ctrl+shift+k removes a block and its break", numbers, 5, {"Ctrl+Shift+K"}, {line("one"), line("three")});
        row("ctrl+shift+k on the last block clears its text", numbers, 10, {"Ctrl+Shift+K"},
            {line("one"), line("two", kH2), line({})});
        row("ctrl+shift+d duplicates with the format", {line("Item", kChecked), line("end")}, 2, {"Ctrl+Shift+D"},
            {line("Item", kChecked), line("Item", kChecked), line("end")}, 9);
        const L words{line("alpha beta gamma"), line("next")};
        row("ctrl+w deletes the word before", words, 16, {"Ctrl+W"}, {line("alpha beta "), line("next")}, 11);
        row("ctrl+l selects the line only", words, 16, {"Ctrl+L", "Ctrl+W"}, {line({}), line("next")}, 0);
    }
    void keyCommands()
    {
        QFETCH(QStringList, before);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, after);
        QFETCH(int, cursor);
        load(before);
        select(anchor < 0 ? position : anchor, position);
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1String("text:")))
                QTest::keyClicks(&editor(), step.mid(5));
            else if (step == QLatin1String("read-only"))
                editor().setReadOnly(true);
            else
                QTest::keySequence(&editor(), QKeySequence(step));
        }
        if (cursor >= 0)
            QCOMPARE(editor().textCursor().position(), cursor);
        // Compared with the expected document as the editor writes it after loading.
        const QString result = delta();
        load(after);
        QCOMPARE(result, delta());
    }

    // Text typed after a link is plain: right after inserting it, after moving
    // to the end of one, and on the line Return opens after it.
    void typingAfterALinkIsPlain()
    {
        for (const QString step : {"insert", "move", "return"}) {
            load({R"({"insert":"see "})", linked("docs", "https://x.example"), line({})});
            editor().moveCursor(QTextCursor::End);
            if (step == "insert") {
                m_seen.linkAnswer = NoteEditor::LinkInput{"more", "https://y.example"};
                editor().insertLink();
            } else {
                editor().moveCursor(QTextCursor::Start);
                editor().moveCursor(QTextCursor::End);
            }
            if (step == "return")
                QTest::keyClick(&editor(), Qt::Key_Return);
            QTest::keyClicks(&editor(), " tail");
            QVERIFY2(delta().contains(QStringLiteral("{\"insert\":\" tail\"}")), qPrintable(step + delta()));
            QCOMPARE(delta().count("link"), step == "insert" ? 2 : 1);
        }
    }

    // A line typed and the same line reloaded have the same formats (so the
    // same spacing and colours) for every kind of line.
    void typedAndReloadedLinesLookAlike_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *command : {"", "Ctrl+1", "Ctrl+3", "Ctrl+Shift+8", "Ctrl+Shift+7", "Ctrl+Shift+9",
                                    "Ctrl+Shift+`", "Ctrl+Shift+B", "Ctrl+Shift+7, Tab"})
            QTest::newRow(*command ? command : "body") << QString::fromLatin1(command);
    }
    void typedAndReloadedLinesLookAlike()
    {
        QFETCH(QString, command);
        load({line({})});
        if (!command.isEmpty())
            QTest::keySequence(&editor(), QKeySequence(command));
        for (const char *text : {"one", "two"}) {
            QTest::keyClicks(&editor(), text);
            QTest::keyClick(&editor(), Qt::Key_Return);
        }
        QTest::keyClick(&editor(), Qt::Key_Return);
        QTest::keyClicks(&editor(), "end");
        const QString typed = delta();
        NoteEditor reloaded;
        reloaded.loadNote("note-1", typed, true);
        QCOMPARE(reloaded.currentDelta(), typed);
        const auto looks = [](const QTextBlock &block) {
            const QTextBlockFormat b = block.blockFormat();
            const QTextCharFormat c = QTextCursor(block).charFormat();
            return QVariantList{block.text(), b.topMargin(), b.bottomMargin(), b.leftMargin(), b.lineHeight(),
                                b.lineHeightType(), b.background(), int(b.marker()), c.font().pixelSize(),
                                c.font().weight(), c.fontFixedPitch(), c.foreground(), c.background()};
        };
        for (QTextBlock a = editor().document()->begin(), b = reloaded.document()->begin(); a.isValid() || b.isValid();
             a = a.next(), b = b.next()) {
            QVERIFY(a.isValid() && b.isValid());
            QCOMPARE(looks(a), looks(b));
        }
    }

    void clicksTickCheckBoxesAndTripleClickSelectsTheLine()
    {
        load({line("task", kUnchecked), line("several words in one line")});
        QVERIFY(exposed());
        const QRect lineRect = editor().cursorRect(QTextCursor(editor().document()->firstBlock()));
        QAbstractTextDocumentLayout *layout = editor().document()->documentLayout();
        QPoint marker(-1, -1);
        for (int x = 0; x < lineRect.left() && marker.x() < 0; ++x) {
            const QPoint point(x, lineRect.center().y());
            if (layout->blockWithMarkerAt(point + QPointF(0, editor().verticalScrollBar()->value())).isValid())
                marker = point;
        }
        QVERIFY(marker.x() >= 0);
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, {}, marker);
        QCOMPARE(lineAttributes(delta()).first(), QJsonObject({{"list", "checked"}}));

        const QPoint point = pointAt(15);
        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, point);
        QTest::mousePress(editor().viewport(), Qt::LeftButton, {}, point + QPoint(1, 1));
        QTest::mouseRelease(editor().viewport(), Qt::LeftButton, {}, point + QPoint(1, 1));
        QCOMPARE(editor().textCursor().selectedText(), QStringLiteral("several words in one line"));
    }

    void tablesTakeTabsAndLineKeysStayInTheirCell()
    {
        load({line("Intro")});
        editor().moveCursor(QTextCursor::End);
        editor().insertTable(2, 2, true);
        QTextTable *table = tableAtCursor();
        QVERIFY(table);
        QCOMPARE(table->format().headerRowCount(), 1);
        // No table inside a table.
        const int blocks = editor().document()->blockCount();
        editor().insertTable(3, 3, true);
        QCOMPARE(editor().document()->blockCount(), blocks);
        const auto cell = [&] {
            const QTextTableCell at = table->cellAt(editor().textCursor());
            return QPoint(at.column(), at.row());
        };
        const auto cellText = [table](int column) { return table->cellAt(0, column).firstCursorPosition().block().text(); };
        QTest::keyClicks(&editor(), "h1");
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QTest::keyClicks(&editor(), "h2");
        for (int cells = 0; cells < 3; ++cells) // the last goes past the last cell: a new row
            QTest::keyClick(&editor(), Qt::Key_Tab);
        QCOMPARE(table->rows(), 3);
        QCOMPARE(cell(), QPoint(0, 2));
        QTest::keyClick(&editor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(cell(), QPoint(1, 1));
        QVERIFY(!editor().toPlainText().contains('\t'));
        QVERIFY(delta().contains(R"({\"cells\":[[[{\"attributes\":{\"bold\":true},\"insert\":\"h1\"}])"));

        // Ctrl+W at the start of a cell and Ctrl+Shift+K in one stay inside it.
        select(table->cellAt(0, 1).firstCursorPosition().position(), table->cellAt(0, 1).firstCursorPosition().position());
        QTest::keyClick(&editor(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(cellText(0), QStringLiteral("h1"));
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(cellText(1), QString());
        QCOMPARE(cellText(0), QStringLiteral("h1"));
        QCOMPARE(table->rows(), 3);
        // The block before the table goes alone.
        select(2, 2);
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tableCount(), 1);
        QCOMPARE(editor().document()->firstBlock().text(), QString());
    }

    void tableMenuEditsRowsAndColumns()
    {
        load({line("before")});
        editor().moveCursor(QTextCursor::End);
        editor().insertTable(1, 2, false);
        QTextTable *table = tableAtCursor();
        QVERIFY(exposed());
        QVERIFY(runMenu("Insert Row Below") && runMenu("Insert Column After"));
        QCOMPARE(QSize(table->columns(), table->rows()), QSize(3, 2));
        QVERIFY(runMenu("Delete Column") && runMenu("Delete Row"));
        QCOMPARE(QSize(table->columns(), table->rows()), QSize(2, 1));
        // Deleting the only row deletes the table.
        QVERIFY(runMenu("Delete Row"));
        QCOMPARE(tableCount(), 0);
        QCOMPARE(delta(), body({line("before"), line({})}));
        editor().insertTable(2, 2, false);
        QVERIFY(runMenu("Delete Table"));
        QCOMPARE(tableCount(), 0);
    }

    void toolbarRunsCommandsAndMirrorsTheFormatWithoutApplyingIt()
    {
        EditorToolbar toolbar;
        toolbar.setEditor(&editor());
        load({line("Title", R"({"header":3})"), line("item", kChecked), line("right", R"({"align":"right"})")});
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 3);
        select(blockStart(1) + 1, blockStart(1) + 1);
        QVERIFY(toolbar.action(EditorCommand::CheckList)->isChecked());
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 0);
        // A selection from a paragraph up into the heading shows the heading without making the paragraph one.
        select(blockStart(2) + 3, 2);
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 3);
        QCOMPARE(lineAttributes(delta()).at(2), QJsonObject({{"align", "right"}}));

        load({line("word"), line("two"), line("three")});
        select(0, 5);
        toolbar.action(EditorCommand::Bold)->trigger();
        QVERIFY(toolbar.action(EditorCommand::Bold)->isChecked());
        toolbar.headingCombo()->setCurrentIndex(1);
        toolbar.action(EditorCommand::BulletList)->trigger();
        toolbar.action(EditorCommand::AlignCenter)->trigger();
        const QJsonObject formatted{{"header", 1}, {"list", "bullet"}, {"align", "center"}};
        QCOMPARE(lineAttributes(delta()), (QList<QJsonObject>{formatted, formatted, QJsonObject()}));

        editor().moveCursor(QTextCursor::End);
        editor().hooks().askTableSize = [] { return std::make_tuple(2, 4, false); };
        QAction *table = toolbar.action(EditorCommand::InsertTable);
        table->trigger();
        QCOMPARE(QSize(tableAtCursor()->columns(), tableAtCursor()->rows()), QSize(4, 2));
        QVERIFY(!table->isEnabled()); // no nested tables

        // A toolbar bound to another editor no longer follows the first.
        NoteEditor other;
        toolbar.setEditor(&other);
        editor().moveCursor(QTextCursor::Start);
        QVERIFY(!table->isEnabled());
        toolbar.action(EditorCommand::Italic)->trigger();
        QVERIFY(!delta().contains("italic"));
    }

    void pasteConvertsMarkdownAndHtml_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QJsonObject>("firstLine");
        QTest::newRow("markdown as text") << "text/plain" << "# Heading\nbody" << true << "Heading"
                                          << QJsonObject({{"header", 1}});
        QTest::newRow("html as text") << "text/plain" << "<p>Hello <b>you</b></p>" << true << "Hello you"
                                      << QJsonObject();
        QTest::newRow("lone less-than") << "text/plain" << "if a < b then" << true << "if a < b then" << QJsonObject();
        QTest::newRow("html data") << "text/html" << "<h2>Big</h2>" << true << "Big" << QJsonObject({{"header", 2}});
        QTest::newRow("unknown data") << "application/x-unknown" << "x" << false << "" << QJsonObject();
    }
    void pasteConvertsMarkdownAndHtml()
    {
        QFETCH(QString, format);
        QFETCH(QString, data);
        load({line({})});
        auto *mime = new QMimeData;
        mime->setData(format, data.toUtf8());
        QTEST(offer(mime), "accepted");
        paste();
        QTEST(editor().document()->firstBlock().text(), "text");
        QTEST(lineAttributes(delta()).first(), "firstLine");
    }

    void cutAndPasteWithinANoteKeepsAttachmentsAndCheckLists()
    {
        attach();
        load({line("task", kChecked), line("plain"), line({})});
        editor().moveCursor(QTextCursor::End);
        QVERIFY(editor().insertAttachmentBytes("pic.txt", "text/plain", "bytes"));
        const QString id = insertedAttachmentId();
        // Cut task and plain and paste them back after the attachment.
        select(0, blockStart(2));
        QTest::keyClick(&editor(), Qt::Key_X, Qt::ControlModifier);
        editor().moveCursor(QTextCursor::End);
        paste();
        const QList<QJsonObject> lines = lineAttributes(delta());
        QCOMPARE(blockTexts().mid(blockTexts().size() - 2), (QStringList{"task", "plain"}));
        QCOMPARE(lines.at(lines.size() - 2), QJsonObject({{"list", "checked"}}));
        QCOMPARE(insertedAttachmentId(), id);
        // A copied attachment pasted again: both objects point at the one record.
        select(0, 1);
        QTest::keyClick(&editor(), Qt::Key_C, Qt::ControlModifier);
        editor().moveCursor(QTextCursor::End);
        paste();
        QCOMPARE(delta().count(QStringLiteral("velmora-notes://attachment/") + id), 2);
        // Another note gets the clipboard's HTML instead: no attachment reference crosses notes.
        QVERIFY(addNoteRow(*m_db, "note-2"));
        editor().loadNote("note-2", body({line({})}));
        paste();
        QVERIFY(!delta().contains("velmora-notes-attachment"));
    }

    void insertDeltaDropsTrailingBreaksAndDividersGetTheirOwnLine()
    {
        load({line("ab")});
        select(1, 1);
        editor().insertDelta(QJsonDocument::fromJson(body({line("X"), line({}), line({})}).toUtf8()).array());
        QCOMPARE(blockTexts(), (QStringList{"aXb"}));
        editor().moveCursor(QTextCursor::End);
        editor().insertDivider();
        QTest::keyClicks(&editor(), "below");
        QCOMPARE(delta(), body({line("aXb"), R"({"insert":{"divider":"hr"}})", line({}), line("below")}));
    }

    void linksAreInsertedEditedAndRemoved()
    {
        load({line("see docs here")});
        select(4, 8);
        m_seen.linkAnswer = NoteEditor::LinkInput{"docs", "https://example.com"};
        editor().insertLink();
        QCOMPARE(m_seen.linkAsked.first().text, QStringLiteral("docs"));
        QVERIFY(delta().contains(linked("docs", "https://example.com")));
        // Cancel or an empty URL changes nothing.
        const QString before = delta();
        m_seen.linkAnswer.reset();
        editor().insertLink();
        m_seen.linkAnswer = NoteEditor::LinkInput{"t", "   "};
        editor().insertLink();
        QCOMPARE(delta(), before);

        // An edit that changes nothing leaves the document untouched.
        load({linked("site", "https://a.example"), line({})});
        const std::optional<NoteEditor::LinkRange> range = editor().linkAt(2);
        QVERIFY(range);
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        m_seen.linkAnswer = NoteEditor::LinkInput{"site", "https://a.example"};
        editor().editLink(*range);
        QCOMPARE(saved.count(), 0);
        QVERIFY(!editor().document()->isUndoAvailable());
        m_seen.linkAnswer = NoteEditor::LinkInput{"web", "https://b.example"};
        editor().editLink(*range);
        QCOMPARE(delta(), body({linked("web", "https://b.example"), line({})}));
        editor().removeLink(*editor().linkAt(1));
        QCOMPARE(delta(), body({line("web")}));
    }

    void openingALinkFollowsTheSchemeRule_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("note");
        QTest::newRow("scheme-less") << "example.com/page" << false << false << "https://example.com/page" << "";
        QTest::newRow("file, declined") << "file:///bin/sh" << false << true << "" << "";
        QTest::newRow("file, confirmed") << "file:///bin/sh" << true << true << "file:///bin/sh" << "";
        QTest::newRow("another note") << "velmora-notes://note/n-1" << false << false << "" << "n-1";
    }
    void openingALinkFollowsTheSchemeRule()
    {
        QFETCH(QString, href);
        QFETCH(bool, asks);
        QFETCH(QString, opened);
        QFETCH(QString, note);
        QFETCH(bool, answer);
        m_seen.confirmAnswer = answer;
        QSignalSpy noteLinks(&editor(), &NoteEditor::noteLinkActivated);
        editor().openLink(href);
        QCOMPARE(noteLinks, note.isEmpty() ? QList<QVariantList>() : QList<QVariantList>{{note}});
        QCOMPARE(m_seen.asked.size() == 1 && m_seen.asked.first().contains(href), asks);
        QCOMPARE(m_seen.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(opened)});
    }

    void onlyCtrlClickOpensALink()
    {
        load({R"({"insert":"go "})", linked("there now", "example.com"), line({})});
        QVERIFY(exposed());
        const QPoint onLink = pointAt(6);
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, {}, onLink);
        QVERIFY(m_seen.opened.isEmpty());
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, Qt::ControlModifier, onLink);
        QCOMPARE(m_seen.opened, (QList<QUrl>{QUrl("https://example.com")}));
        QVERIFY(runMenu("Copy Link Address", onLink));
        QCOMPARE(m_seen.clipboardText, QStringLiteral("example.com"));
        // A heading keeps the link colour.
        QTest::keyClick(&editor(), Qt::Key_1, Qt::ControlModifier);
        QTextCursor cursor(editor().document());
        cursor.setPosition(6);
        QCOMPARE(cursor.charFormat().foreground().color(), linkColor());
    }

    void hugeNotesOpenQuicklyAndOnlyOversizedOnesReadOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("totalLimit");
        QTest::addColumn<bool>("oversized");
        const QString json = QStringLiteral("{\"k\":\"dGhlIHF1aWNrIGJyb3du\"},");
        const auto paragraph = [&json](qsizetype bytes) { return json.repeated(bytes / json.size()); };
        const qsizetype noTotalLimit = 64 * 1024 * 1024;
        QTest::newRow("short lines, 0.5 MB") << QString("a long line of words\n").repeated(25000) << noTotalLimit << false;
        QTest::newRow("paragraph at the limit") << QString("word ").repeated(20000) << noTotalLimit << false;
        QTest::newRow("one paragraph, 0.5 MB") << paragraph(512 * 1024) << noTotalLimit << true;
        QTest::newRow("one paragraph, 5 MB") << paragraph(5 * 1024 * 1024) << noTotalLimit << true;
        QTest::newRow("huge paragraph after short ones")
            << QString("intro\n").repeated(100) + QString(300000, QLatin1Char('x')) << noTotalLimit << true;
        QTest::newRow("short lines above the total limit") << QString("a long line of words\n").repeated(20) << qsizetype(100) << true;
    }

    // Layout cost grows with the longest paragraph: any such note is shown
    // broken into display lines, read-only, within the time a user waits.
    void hugeNotesOpenQuicklyAndOnlyOversizedOnesReadOnly()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, totalLimit);
        QFETCH(bool, oversized);
        editor().setOversizedNoteLimit(totalLimit);
        const QByteArray json = QJsonDocument(QJsonArray{QJsonObject{{"insert", text}}}).toJson(QJsonDocument::Compact);
        editor().resize(800, 600);
        editor().show();
        QElapsedTimer timer;
        timer.start();
        editor().loadNote("huge", json);
        editor().repaint();
        QCoreApplication::processEvents();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(editor().isOversized(), oversized);
        QCOMPARE(editor().isReadOnly(), oversized);
        const QString shown = editor().toPlainText();
        if (oversized) {
            for (QTextBlock block = editor().document()->begin(); block.isValid(); block = block.next())
                QVERIFY(block.length() <= 2001);
            QString kept = shown.section(QLatin1Char('\n'), 2);
            QCOMPARE(kept.remove(QLatin1Char('\n')), QString(text).remove(QLatin1Char('\n')));
        } else {
            QVERIFY(shown.startsWith(text.left(1000)));
        }
        // Even when made writable, a plain rendering is never handed out to be saved.
        editor().setReadOnly(false);
        editor().moveCursor(QTextCursor::Start);
        QTest::keyClick(&editor(), Qt::Key_X);
        QCOMPARE(editor().isSaved(), oversized);
    }

};

VELM_TEST_MAIN(TestNoteEditor)
#include "tst_noteeditor.moc"
