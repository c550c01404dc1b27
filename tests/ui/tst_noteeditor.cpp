#include "velmtest.h"

#include "../storage/storagefixture.h"

#include "attachmentrepository.h"
#include "editortoolbar.h"
#include "imagelightbox.h"
#include "noteeditor.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QBuffer>
#include <QGraphicsView>
#include <QClipboard>
#include <QComboBox>
#include <QJsonDocument>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QToolTip>

using namespace StorageFixture;

namespace {

QJsonArray parse(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).array();
}

QString line(const QString &text, const QString &attributes = {})
{
    QString out;
    if (!text.isEmpty())
        out += QStringLiteral("{\"insert\":\"%1\"},").arg(text);
    if (attributes.isEmpty())
        out += QStringLiteral("{\"insert\":\"\\n\"}");
    else
        out += QStringLiteral("{\"attributes\":%1,\"insert\":\"\\n\"}").arg(attributes);
    return out;
}

QString body(const QStringList &lines)
{
    return QLatin1Char('[') + lines.join(QLatin1Char(',')) + QLatin1Char(']');
}

// The line attributes of every line end of a Delta, in order.
QList<QJsonObject> lineAttributes(const QString &json)
{
    QList<QJsonObject> lines;
    for (const QJsonValue &op : parse(json)) {
        if (op.toObject().value("insert").toString() == "\n")
            lines.append(op.toObject().value("attributes").toObject());
    }
    return lines;
}

QAction *findAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestNoteEditor : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<NoteEditor> m_editor;
    QTemporaryDir m_files;
    QList<QUrl> m_opened;
    QList<QUrl> m_confirmed;
    bool m_confirmAnswer = false;
    std::optional<NoteEditor::LinkInput> m_linkAnswer;
    QList<QPair<QString, NoteEditor::LinkInput>> m_linkAsked;
    QString m_clipboardText;
    QList<QUrl> m_clipboardUrls;

    NoteEditor &editor() { return *m_editor; }

    void load(const QString &json, const QString &id = QStringLiteral("note-1"))
    {
        editor().loadNote(id, json, true);
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_files.path() + '/' + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return path;
    }

    void placeCursor(int position)
    {
        QTextCursor cursor(editor().document());
        cursor.setPosition(position);
        editor().setTextCursor(cursor);
    }

    void placeCursorInBlock(int blockNumber, int column = 0)
    {
        placeCursor(editor().document()->findBlockByNumber(blockNumber).position() + column);
    }

    QStringList blockTexts() const
    {
        QStringList texts;
        for (QTextBlock b = m_editor->document()->begin(); b.isValid(); b = b.next())
            texts.append(b.text());
        return texts;
    }

    QTextTable *tableAtCursor() const { return m_editor->textCursor().currentTable(); }

    // Viewport point of a document position.
    QPoint pointAt(int position)
    {
        QTextCursor cursor(editor().document());
        cursor.setPosition(position);
        return editor().cursorRect(cursor).center();
    }

    QString insertedAttachmentId()
    {
        for (const QJsonValue &op : parse(editor().currentDelta())) {
            const QJsonObject insert = op.toObject().value("insert").toObject();
            if (insert.contains("velmora-notes-attachment"))
                return insert.value("velmora-notes-attachment").toString().mid(
                    QStringLiteral("velmora-notes://attachment/").size());
        }
        return {};
    }

    bool insertNoteRow(const QString &id)
    {
        return run(*m_db, "INSERT INTO notes (id, created_at, updated_at, modified_at) VALUES (?, 't', 't', 't')",
                   {id});
    }

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        QVERIFY(insertNoteRow("note-1"));
        m_attachments = std::make_unique<AttachmentRepository>(m_db.get());
        m_editor = std::make_unique<NoteEditor>();
        m_editor->resize(600, 400);
        m_opened.clear();
        m_confirmed.clear();
        m_confirmAnswer = false;
        m_linkAnswer.reset();
        m_linkAsked.clear();
        m_clipboardText.clear();
        m_clipboardUrls.clear();

        NoteEditor::Hooks &hooks = m_editor->hooks();
        hooks.openUrl = [this](const QUrl &url) {
            m_opened.append(url);
            return true;
        };
        hooks.confirmOpenUrl = [this](const QUrl &url) {
            m_confirmed.append(url);
            return m_confirmAnswer;
        };
        hooks.askLink = [this](const QString &title, const NoteEditor::LinkInput &initial) {
            m_linkAsked.append({title, initial});
            return m_linkAnswer;
        };
        hooks.setClipboard = [this](QMimeData *data) {
            m_clipboardText = data->text();
            m_clipboardUrls = data->urls();
            delete data;
        };
        hooks.askOpenFile = [] { return QString(); };
        hooks.askSaveFile = [](const QString &) { return QString(); };
        hooks.askTableSize = [] { return std::nullopt; };
    }

    void cleanup()
    {
        m_editor.reset();
        m_attachments.reset();
        m_db.reset();
    }

    // --- Loading, change tracking, word count ---------------------------------------------

    void burstOfKeystrokesGivesOneSaveAfterTheLast()
    {
        load(body({line("Hello")}));
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        QSignalSpy modified(&editor(), &NoteEditor::noteModified);
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy words(&editor(), &NoteEditor::wordCountChanged);

        editor().moveCursor(QTextCursor::End);
        QElapsedTimer sinceLast;
        for (const char *word : {" a", " b", " c"}) {
            QTest::keyClicks(&editor(), QString::fromLatin1(word));
            sinceLast.start();
            QTest::qWait(300);
        }
        QCOMPARE(modified.count(), 0);
        QVERIFY(!editor().isSaved());
        QCOMPARE(saved.first().first().toBool(), false);
        QCOMPARE(words.last().first().toInt(), 4);

        QVERIFY(modified.wait(2000));
        QVERIFY2(sinceLast.elapsed() >= 990, qPrintable(QString::number(sinceLast.elapsed())));
        QCOMPARE(modified.count(), 1);
        QCOMPARE(saved.last().first().toBool(), true);
        QVERIFY(editor().isSaved());
        QTest::qWait(1200);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(parse(editor().currentDelta()).first().toObject().value("insert").toString(),
                 QStringLiteral("Hello a b c"));
    }

    void changesWithoutANoteOrWhileLoadingAreNotEdits()
    {
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy modified(&editor(), &NoteEditor::noteModified);
        QVERIFY(editor().isReadOnly());
        editor().setFocus();
        QTest::keyClicks(&editor(), "typed");
        QVERIFY(editor().toPlainText().isEmpty());
        // Even a change made directly to the document is not an edit without a note.
        editor().textCursor().insertText("direct");

        load(body({line("One"), line("Two", "{\"header\":1}")}));
        editor().clearNote();
        QVERIFY(editor().isReadOnly());
        QCOMPARE(editor().placeholderText(), QStringLiteral("Select a note or press Ctrl+N to create one"));
        for (const QList<QVariant> &args : saved)
            QCOMPARE(args.first().toBool(), true);
        QTest::qWait(1100);
        QCOMPARE(modified.count(), 0);
    }

    void loadingPublishesStateAndWordCount()
    {
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy words(&editor(), &NoteEditor::wordCountChanged);
        editor().loadNote("note-1", body({line("  one   two"), line(" three  ")}));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(words.count(), 1);
        QCOMPARE(words.first().first().toInt(), 3);
        QVERIFY(!editor().isReadOnly());
        QCOMPARE(editor().placeholderText(), QStringLiteral("Start typing..."));
        QCOMPARE(editor().textCursor().position(), 0);
    }

    void reloadingTheSameUnchangedNoteChangesNothing()
    {
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines.append(line(QStringLiteral("Line number %1").arg(i)));
        const QString json = body(lines);
        editor().loadNote("note-1", json);
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        const QString written = editor().currentDelta();
        placeCursorInBlock(150, 4);
        editor().verticalScrollBar()->setValue(editor().verticalScrollBar()->maximum() / 2);
        const int scroll = editor().verticalScrollBar()->value();
        QVERIFY(scroll > 0);

        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QSignalSpy words(&editor(), &NoteEditor::wordCountChanged);
        QSignalSpy format(&editor(), &NoteEditor::formatStateChanged);
        editor().loadNote("note-1", written);
        QCOMPARE(saved.count() + words.count() + format.count(), 0);
        QCOMPARE(editor().textCursor().blockNumber(), 150);
        QCOMPARE(editor().verticalScrollBar()->value(), scroll);

        // Changed content: the same note keeps the cursor (clamped) and the scroll value.
        placeCursorInBlock(199, 3);
        const int position = editor().textCursor().position();
        // Scrolled away from the cursor: the scroll value, not the cursor, decides what is shown.
        editor().verticalScrollBar()->setValue(scroll / 3);
        lines.removeLast();
        lines.append(line("Changed"));
        editor().loadNote("note-1", body(lines));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(editor().textCursor().position(), position);
        QCOMPARE(editor().verticalScrollBar()->value(), scroll / 3);

        editor().loadNote("note-1", body({line("ab")}));
        QCOMPARE(editor().textCursor().position(), editor().document()->characterCount() - 1);

        // Another note starts at the top.
        editor().loadNote("note-2", json);
        QCOMPARE(editor().textCursor().position(), 0);
    }

    // --- Formatting -----------------------------------------------------------------------

    void boldToggleFollowsTheFirstSelectedCharacter()
    {
        load(body({"{\"attributes\":{\"bold\":true},\"insert\":\"Bo\"}", "{\"insert\":\"ld text\"}", line({})}));
        QTextCursor cursor(editor().document());
        cursor.setPosition(0);
        cursor.setPosition(9, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(editor().currentDelta(), QStringLiteral("[{\"insert\":\"Bold text\"},{\"insert\":\"\\n\"}]"));
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(editor().currentDelta(),
                 QStringLiteral("[{\"attributes\":{\"bold\":true},\"insert\":\"Bold text\"},{\"insert\":\"\\n\"}]"));
    }

    void inlineTogglesApplyToWhatIsTypedNext_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("attribute");
        QTest::newRow("italic") << int(Qt::Key_I) << int(Qt::ControlModifier) << "italic";
        QTest::newRow("underline") << int(Qt::Key_U) << int(Qt::ControlModifier) << "underline";
        QTest::newRow("strike") << int(Qt::Key_X) << int(Qt::ControlModifier | Qt::ShiftModifier) << "strike";
        QTest::newRow("code") << int(Qt::Key_QuoteLeft) << int(Qt::ControlModifier) << "code";
    }
    void inlineTogglesApplyToWhatIsTypedNext()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, attribute);
        load(body({line("a ")}));
        editor().moveCursor(QTextCursor::EndOfBlock);
        QSignalSpy state(&editor(), &NoteEditor::formatStateChanged);
        QTest::keyClick(&editor(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(state.count() >= 1);
        QTest::keyClicks(&editor(), "xy");
        const QJsonArray delta = parse(editor().currentDelta());
        QCOMPARE(delta.at(1).toObject().value("insert").toString(), QStringLiteral("xy"));
        QVERIFY(delta.at(1).toObject().value("attributes").toObject().value(attribute).toBool());

        // Toggling again ends it.
        QTest::keyClick(&editor(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTest::keyClicks(&editor(), "z");
        const QJsonArray after = parse(editor().currentDelta());
        QCOMPARE(after.at(2).toObject().value("insert").toString(), QStringLiteral("z"));
        QVERIFY(!after.at(2).toObject().value("attributes").toObject().contains(attribute));
    }

    void headingKeysSetAndClearTheHeading()
    {
        load(body({line("Title"), line("Body")}));
        QTest::keyClick(&editor(), Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"header", 2}}));
        QSignalSpy state(&editor(), &NoteEditor::formatStateChanged);
        QTest::keyClick(&editor(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject());
        QCOMPARE(state.last().at(5).toInt(), 0);
        // The heading's bold weight goes with the heading.
        QCOMPARE(editor().currentDelta(), body({line("Title"), line("Body")}));
    }

    void headingsKeepInlineCodeAndLinkColour()
    {
        const QString json = body({"{\"insert\":\"call \"}", "{\"attributes\":{\"code\":true},\"insert\":\"run()\"}",
                                   "{\"insert\":\" see \"}", "{\"attributes\":{\"link\":\"https://x.example\"},\"insert\":\"docs\"}",
                                   line({})});
        load(json);
        QTest::keyClick(&editor(), Qt::Key_3, Qt::ControlModifier);
        QVERIFY(editor().currentDelta().contains("{\"attributes\":{\"code\":true},\"insert\":\"run()\"}"));
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&editor(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(editor().currentDelta(), json);
        QTextCursor onLink(editor().document());
        onLink.setPosition(17);
        QCOMPARE(onLink.charFormat().foreground().color(), linkColor());
    }

    void codeBlockAndQuoteReplaceEachOther()
    {
        load(body({line("x = 1", "{\"header\":1}")}));
        QTest::keyClick(&editor(), Qt::Key_QuoteLeft, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"code-block", true}}));
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"blockquote", true}}));
        QTest::keyClick(&editor(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject());
        // Leaving the code block leaves no "code" on the text either.
        QCOMPARE(editor().currentDelta(), body({line("x = 1")}));
    }

    void alignmentAppliesToEverySelectedBlock()
    {
        load(body({line("a"), line("b"), line("c")}));
        QTextCursor cursor(editor().document());
        cursor.setPosition(0);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        editor().setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        const QList<QJsonObject> lines = lineAttributes(editor().currentDelta());
        QCOMPARE(lines.at(0), QJsonObject({{"align", "center"}}));
        QCOMPARE(lines.at(1), QJsonObject({{"align", "center"}}));
        QCOMPARE(lines.at(2), QJsonObject());
        QCOMPARE(editor().document()->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
    }

    void readOnlyEditorIgnoresCommandKeys()
    {
        load(body({line("a"), line("b")}));
        editor().setReadOnly(true);
        placeCursorInBlock(0);
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&editor(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(editor().currentDelta(), body({line("a"), line("b")}));
    }

    // --- Lists ------------------------------------------------------------------------------

    void returnInAnEmptyItemEndsTheList()
    {
        load(body({line("one", "{\"list\":\"bullet\"}")}));
        editor().moveCursor(QTextCursor::End);
        QTest::keyClick(&editor(), Qt::Key_Return);
        QTest::keyClick(&editor(), Qt::Key_Return);
        QTest::keyClicks(&editor(), "after");
        QCOMPARE(editor().currentDelta(), body({line("one", "{\"list\":\"bullet\"}"), line("after")}));
        QVERIFY(!editor().textCursor().block().textList());
    }

    void returnAtTheStartOfAnItemLeavesAPlainLineAbove()
    {
        load(body({line("first", "{\"list\":\"ordered\"}"), line("second", "{\"list\":\"ordered\"}")}));
        placeCursorInBlock(1);
        QTest::keyClick(&editor(), Qt::Key_Return);
        QCOMPARE(editor().textCursor().blockNumber(), 1);
        QTest::keyClicks(&editor(), "plain");
        QCOMPARE(editor().currentDelta(), body({line("first", "{\"list\":\"ordered\"}"), line("plain"),
                                                line("second", "{\"list\":\"ordered\"}")}));
        // One undo step takes the plain line back out of the list change.
        QVERIFY(editor().document()->isUndoAvailable());
    }

    void returnInTheMiddleOfAnItemContinuesTheList()
    {
        load(body({line("abcd", "{\"list\":\"bullet\"}")}));
        placeCursor(2);
        QTest::keyClick(&editor(), Qt::Key_Return);
        QCOMPARE(editor().currentDelta(), body({line("ab", "{\"list\":\"bullet\"}"), line("cd", "{\"list\":\"bullet\"}")}));
    }

    void aNewTaskAfterATickedOneStartsUnticked()
    {
        load(body({line("done", "{\"list\":\"checked\"}")}));
        editor().moveCursor(QTextCursor::End);
        QTest::keyClick(&editor(), Qt::Key_Return);
        QTest::keyClicks(&editor(), "todo");
        QCOMPARE(editor().currentDelta(),
                 body({line("done", "{\"list\":\"checked\"}"), line("todo", "{\"list\":\"unchecked\"}")}));
        // The split and the untick are one undo step.
        editor().undo();
        editor().undo();
        QCOMPARE(editor().currentDelta(), body({line("done", "{\"list\":\"checked\"}")}));
    }

    void backspaceInAnEmptyFirstItemKeepsTheNextLine()
    {
        load(body({line({}, "{\"list\":\"bullet\"}"), line("Title", "{\"header\":2}"), line("x")}));
        placeCursor(0);
        QTest::keyClick(&editor(), Qt::Key_Backspace);
        QCOMPARE(lineAttributes(editor().currentDelta()), (QList<QJsonObject>{QJsonObject({{"header", 2}}), QJsonObject()}));
        QCOMPARE(blockTexts(), (QStringList{"Title", "x"}));
        QVERIFY(!editor().document()->firstBlock().textList());
    }

    void listKeysToggleOverTheSelection()
    {
        load(body({line("a"), line("b"), line("c")}));
        QTextCursor cursor(editor().document());
        cursor.setPosition(0);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        QTest::keyClick(&editor(), Qt::Key_8, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()),
                 (QList<QJsonObject>{QJsonObject({{"list", "bullet"}}), QJsonObject({{"list", "bullet"}}), QJsonObject()}));
        QCOMPARE(editor().document()->firstBlock().textList()->count(), 2);
        QTest::keyClick(&editor(), Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"list", "ordered"}}));
        QTest::keyClick(&editor(), Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()),
                 (QList<QJsonObject>{QJsonObject(), QJsonObject(), QJsonObject()}));
    }

    void checkListMarkersAreWrittenAsCheckedOrUnchecked()
    {
        load(body({line("task")}));
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        QTest::keyClick(&editor(), Qt::Key_9, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"list", "unchecked"}}));

        // A click on the check box ticks it.
        const QTextBlock block = editor().document()->firstBlock();
        const QRect lineRect = editor().cursorRect(QTextCursor(block));
        QAbstractTextDocumentLayout *layout = editor().document()->documentLayout();
        QPoint marker(-1, -1);
        for (int x = 0; x < lineRect.left() && marker.x() < 0; ++x) {
            const QPoint viewportPoint(x, lineRect.center().y());
            const QPointF documentPoint = viewportPoint + QPointF(0, editor().verticalScrollBar()->value());
            if (layout->blockWithMarkerAt(documentPoint).isValid())
                marker = viewportPoint;
        }
        QVERIFY(marker.x() >= 0);
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, {}, marker);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject({{"list", "checked"}}));

        // The Check list command removes a ticked list too.
        placeCursor(1);
        QTest::keyClick(&editor(), Qt::Key_9, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), QJsonObject());
    }

    // --- Block commands -------------------------------------------------------------------

    void altUpOnTheFirstAndAltDownOnTheLastChangeNothing()
    {
        const QString json = body({line("first", "{\"header\":1}"), line("middle"), line("last", "{\"list\":\"bullet\"}")});
        load(json);
        const QString written = editor().currentDelta();
        placeCursorInBlock(0, 2);
        QTest::keyClick(&editor(), Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(editor().currentDelta(), written);
        QCOMPARE(editor().textCursor().position(), 2);
        placeCursorInBlock(2, 1);
        QTest::keyClick(&editor(), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(editor().currentDelta(), written);
        QCOMPARE(editor().textCursor().blockNumber(), 2);
    }

    void altUpSwapsBlocksWithTheirFormats()
    {
        load(body({line("Heading", "{\"header\":1}"), line("item text", "{\"list\":\"bullet\"}")}));
        placeCursorInBlock(1, 8);
        QTest::keyClick(&editor(), Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(blockTexts(), (QStringList{"item text", "Heading"}));
        QCOMPARE(lineAttributes(editor().currentDelta()),
                 (QList<QJsonObject>{QJsonObject({{"list", "bullet"}}), QJsonObject({{"header", 1}})}));
        QCOMPARE(editor().textCursor().blockNumber(), 0);
        QCOMPARE(editor().textCursor().positionInBlock(), 8);
        QTest::keyClick(&editor(), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(blockTexts(), (QStringList{"Heading", "item text"}));
        QCOMPARE(editor().textCursor().blockNumber(), 1);
        // One undo step per move.
        editor().undo();
        QCOMPARE(blockTexts(), (QStringList{"item text", "Heading"}));
    }

    void ctrlShiftKRemovesABlockWithItsBreak()
    {
        load(body({line("one"), line("two", "{\"header\":2}"), line("three")}));
        placeCursorInBlock(1, 1);
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(blockTexts(), (QStringList{"one", "three"}));
        QCOMPARE(editor().currentDelta(), body({line("one"), line("three")}));

        // The last block loses its text only.
        placeCursorInBlock(1, 2);
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(blockTexts(), (QStringList{"one", ""}));
    }

    void lineAndWordDeletionStayInsideTheirTableCell()
    {
        load(body({line("before")}));
        editor().moveCursor(QTextCursor::End);
        editor().insertTable(2, 2, false);
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QTest::keyClicks(&editor(), "next");
        QTest::keyClick(&editor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClicks(&editor(), "cell");
        // The cell's only block: its text goes, the next cell and the table stay.
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QTextTable *table = tableAtCursor();
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QVERIFY(table->cellAt(0, 0).firstCursorPosition().block().text().isEmpty());
        QCOMPARE(table->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("next"));

        // Ctrl+W at the start of a cell does not reach into the previous one.
        QTest::keyClick(&editor(), Qt::Key_Z, Qt::NoModifier);
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QTest::keyClick(&editor(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(table->cellAt(0, 0).firstCursorPosition().block().text(), QStringLiteral("z"));
        QCOMPARE(table->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("next"));

        placeCursorInBlock(0, 2);
        QTest::keyClick(&editor(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(editor().document()->rootFrame()->childFrames().size(), 1);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 2);
        QCOMPARE(editor().document()->firstBlock().text(), QString());
    }

    void ctrlShiftDDuplicatesTheBlock()
    {
        load(body({line("Item", "{\"list\":\"checked\"}"), line("end")}));
        placeCursorInBlock(0, 2);
        QTest::keyClick(&editor(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(editor().currentDelta(),
                 body({line("Item", "{\"list\":\"checked\"}"), line("Item", "{\"list\":\"checked\"}"), line("end")}));
        QCOMPARE(editor().textCursor().blockNumber(), 1);
    }

    void lineSelectionAndWordDeletion()
    {
        load(body({line("alpha beta gamma"), line("next")}));
        placeCursorInBlock(0, 16);
        QTest::keyClick(&editor(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(blockTexts().first(), QStringLiteral("alpha beta "));
        QTest::keyClick(&editor(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(editor().textCursor().selectedText(), QStringLiteral("alpha beta "));
        QTest::keyClick(&editor(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(blockTexts(), (QStringList{"", "next"}));
    }

    void tripleClickSelectsTheBlock()
    {
        load(body({line("several words in one line"), line("other")}));
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        const QPoint point = pointAt(10);
        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, point);
        QTest::mousePress(editor().viewport(), Qt::LeftButton, {}, point + QPoint(1, 1));
        QTest::mouseRelease(editor().viewport(), Qt::LeftButton, {}, point + QPoint(1, 1));
        QCOMPARE(editor().textCursor().selectedText(), QStringLiteral("several words in one line"));
    }

    // --- Tables -----------------------------------------------------------------------------

    void tabMovesThroughCellsAndAppendsARow()
    {
        load(body({line("Intro")}));
        editor().moveCursor(QTextCursor::End);
        editor().insertTable(2, 2, true);
        QTextTable *table = tableAtCursor();
        QVERIFY(table);
        QCOMPARE(table->format().headerRowCount(), 1);
        QCOMPARE(blockTexts().first(), QStringLiteral("Intro"));

        QTest::keyClicks(&editor(), "h1");
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QTest::keyClicks(&editor(), "h2");
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QCOMPARE(table->cellAt(editor().textCursor()).row(), 1);
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QTest::keyClick(&editor(), Qt::Key_Tab);
        QCOMPARE(table->rows(), 3);
        QCOMPARE(table->cellAt(editor().textCursor()).row(), 2);
        QCOMPARE(table->cellAt(editor().textCursor()).column(), 0);
        QVERIFY(!editor().toPlainText().contains('\t'));

        QTest::keyClick(&editor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(table->cellAt(editor().textCursor()).row(), 1);
        QCOMPARE(table->cellAt(editor().textCursor()).column(), 1);

        const QString delta = editor().currentDelta();
        QVERIFY(delta.contains("{\\\"cells\\\":[[[{\\\"attributes\\\":{\\\"bold\\\":true},\\\"insert\\\":\\\"h1\\\"}]"));
    }

    void backtabInTheFirstCellDoesNothing()
    {
        load(body({line({})}));
        editor().insertTable(1, 2, false);
        const int position = editor().textCursor().position();
        QTest::keyClick(&editor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(editor().textCursor().position(), position);
        QVERIFY(!editor().toPlainText().contains('\t'));
    }

    void tablesDoNotNest()
    {
        load(body({line({})}));
        editor().insertTable(2, 2, false);
        QTextTable *table = tableAtCursor();
        const int blocks = editor().document()->blockCount();
        editor().insertTable(3, 3, true);
        QCOMPARE(editor().document()->blockCount(), blocks);
        QCOMPARE(tableAtCursor(), table);
        editor().insertTable(0, 3, true);
        QCOMPARE(editor().document()->blockCount(), blocks);
    }

    void deleteRowOnAOneRowTableRemovesTheTable()
    {
        load(body({line("before")}));
        editor().moveCursor(QTextCursor::End);
        editor().insertTable(1, 3, false);
        QVERIFY(tableAtCursor());
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        std::unique_ptr<QMenu> menu = editor().createContextMenu(editor().cursorRect().center());
        QAction *deleteRow = findAction(menu.get(), "Delete Row");
        QVERIFY(deleteRow);
        deleteRow->trigger();
        QCOMPARE(editor().document()->rootFrame()->childFrames().size(), 0);
        QVERIFY(!editor().currentDelta().contains("table"));
        QCOMPARE(blockTexts().first(), QStringLiteral("before"));
    }

    void tableMenuInsertsRowsAndColumns()
    {
        load(body({line({})}));
        editor().insertTable(2, 2, false);
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        std::unique_ptr<QMenu> menu = editor().createContextMenu(editor().cursorRect().center());
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{"Insert Row Above", "Insert Row Below", "-", "Insert Column Before",
                                     "Insert Column After", "-", "Delete Row", "Delete Column", "-", "Delete Table"}));
        findAction(menu.get(), "Insert Row Below")->trigger();
        findAction(menu.get(), "Insert Column After")->trigger();
        QTextTable *table = tableAtCursor();
        QCOMPARE(table->rows(), 3);
        QCOMPARE(table->columns(), 3);
        findAction(menu.get(), "Delete Column")->trigger();
        QCOMPARE(table->columns(), 2);
        findAction(menu.get(), "Delete Table")->trigger();
        QCOMPARE(editor().document()->rootFrame()->childFrames().size(), 0);
    }

    void toolbarMirrorsTheFormatState()
    {
        EditorToolbar toolbar;
        toolbar.setEditor(&editor());
        load(body({line("Title", "{\"header\":3}"), line("item", "{\"list\":\"checked\"}"), line("right", "{\"align\":\"right\"}")}));
        QAction *table = toolbar.action(EditorToolbar::Button::Table);
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 3);
        QCOMPARE(table->toolTip(), QStringLiteral("Insert Table (Ctrl+T)"));

        placeCursorInBlock(1, 1);
        QVERIFY(toolbar.action(EditorToolbar::Button::CheckList)->isChecked());
        QVERIFY(!toolbar.action(EditorToolbar::Button::BulletList)->isChecked());
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 0);
        placeCursorInBlock(2, 1);
        QVERIFY(toolbar.action(EditorToolbar::Button::AlignRight)->isChecked());
        QVERIFY(!toolbar.action(EditorToolbar::Button::AlignLeft)->isChecked());

        // Mirroring the state never applies it: a selection from a paragraph up
        // into the heading shows "Heading 3" without making the paragraph one.
        QTextCursor selection(editor().document());
        selection.setPosition(editor().document()->findBlockByNumber(2).position() + 3);
        selection.setPosition(2, QTextCursor::KeepAnchor);
        editor().setTextCursor(selection);
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 3);
        QCOMPARE(lineAttributes(editor().currentDelta()).at(2), QJsonObject({{"align", "right"}}));

        editor().moveCursor(QTextCursor::End);
        editor().insertTable(2, 2, false);
        QVERIFY(!table->isEnabled());
        QCOMPARE(table->toolTip(), QStringLiteral("Nested tables are not supported"));
        editor().moveCursor(QTextCursor::Start);
        QVERIFY(table->isEnabled());
        QCOMPARE(table->toolTip(), QStringLiteral("Insert Table (Ctrl+T)"));
    }

    void toolbarButtonsRunTheEditorCommands()
    {
        EditorToolbar toolbar;
        toolbar.setEditor(&editor());
        load(body({line("word")}));
        QTextCursor cursor(editor().document());
        cursor.setPosition(0);
        cursor.setPosition(4, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        toolbar.action(EditorToolbar::Button::Bold)->trigger();
        QVERIFY(toolbar.action(EditorToolbar::Button::Bold)->isChecked());
        toolbar.headingCombo()->setCurrentIndex(1);
        toolbar.action(EditorToolbar::Button::BulletList)->trigger();
        toolbar.action(EditorToolbar::Button::AlignCenter)->trigger();
        QCOMPARE(lineAttributes(editor().currentDelta()).first(),
                 QJsonObject({{"header", 1}, {"list", "bullet"}, {"align", "center"}}));

        // A toolbar bound to another editor no longer follows the first.
        NoteEditor other;
        toolbar.setEditor(&other);
        editor().moveCursor(QTextCursor::End);
        editor().setHeading(4);
        QCOMPARE(toolbar.headingCombo()->currentData().toInt(), 1);
        toolbar.action(EditorToolbar::Button::Italic)->trigger();
        QVERIFY(!parse(editor().currentDelta()).first().toObject().value("attributes").toObject().contains("italic"));
    }

    void toolbarHasEveryButtonWithItsToolTip()
    {
        EditorToolbar toolbar;
        QStringList tips;
        for (QAction *action : toolbar.actions()) {
            if (!action->isSeparator() && !action->toolTip().isEmpty() && !action->icon().isNull())
                tips.append(action->toolTip());
        }
        QCOMPARE(tips, (QStringList{"Bold (Ctrl+B)", "Italic (Ctrl+I)", "Underline (Ctrl+U)",
                                    "Strikethrough (Ctrl+Shift+X)", "Inline Code (Ctrl+`)",
                                    "Bullet List (Ctrl+Shift+8)", "Numbered List (Ctrl+Shift+7)",
                                    "Checkbox List (Ctrl+Shift+9)", "Code Block (Ctrl+Shift+`)",
                                    "Blockquote (Ctrl+Shift+B)", "Align Left (Ctrl+Shift+L)",
                                    "Align Center (Ctrl+Shift+E)", "Align Right (Ctrl+Shift+R)",
                                    "Insert Link (Ctrl+K)", "Insert Divider", "Insert Table (Ctrl+T)",
                                    "Insert Attachment (Ctrl+Shift+A)"}));
        QCOMPARE(toolbar.headingCombo()->count(), 7);
        QCOMPARE(toolbar.headingCombo()->itemText(6), QStringLiteral("Heading 6"));
        QCOMPARE(toolbar.headingCombo()->toolTip(), QStringLiteral("Heading Level"));
        QVERIFY(toolbar.action(EditorToolbar::Button::Bold)->isCheckable());
        QVERIFY(!toolbar.action(EditorToolbar::Button::Link)->isCheckable());
        // Icons are painted, not blank.
        const QImage bold = toolbar.action(EditorToolbar::Button::Bold)->icon().pixmap(24, 24).toImage();
        bool painted = false;
        for (int y = 0; y < bold.height() && !painted; ++y)
            for (int x = 0; x < bold.width() && !painted; ++x)
                painted = qAlpha(bold.pixel(x, y)) > 0;
        QVERIFY(painted);
    }

    void toolbarTableButtonAsksForTheSize()
    {
        EditorToolbar toolbar;
        toolbar.setEditor(&editor());
        load(body({line({})}));
        editor().hooks().askTableSize = [] { return std::make_tuple(2, 4, false); };
        toolbar.action(EditorToolbar::Button::Table)->trigger();
        QTextTable *table = tableAtCursor();
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 4);
        QCOMPARE(table->format().headerRowCount(), 0);
    }

    void dividerIsWrittenAsItsOwnLine()
    {
        load(body({line("above")}));
        editor().insertDivider();
        QTest::keyClicks(&editor(), "below");
        QCOMPARE(editor().currentDelta(),
                 QStringLiteral("[{\"insert\":\"above\"},{\"insert\":\"\\n\"},{\"insert\":{\"divider\":\"hr\"}},"
                                "{\"insert\":\"\\n\"},{\"insert\":\"below\"},{\"insert\":\"\\n\"}]"));
    }

    // --- Paste ------------------------------------------------------------------------------

    void pasteConvertsMarkdownAndHtml_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QJsonObject>("firstLine");
        QTest::newRow("markdown heading as text") << "text/plain" << "# Heading\nbody" << "Heading"
                                                  << QJsonObject({{"header", 1}});
        QTest::newRow("html as text") << "text/plain" << "<p>Hello <b>you</b></p>" << "Hello you" << QJsonObject();
        QTest::newRow("lone less-than") << "text/plain" << "if a < b then" << "if a < b then" << QJsonObject();
        QTest::newRow("markdown data") << "text/markdown" << "- item" << "item" << QJsonObject({{"list", "bullet"}});
        QTest::newRow("html data") << "text/html" << "<h2>Big</h2>" << "Big" << QJsonObject({{"header", 2}});
    }
    void pasteConvertsMarkdownAndHtml()
    {
        QFETCH(QString, format);
        QFETCH(QString, data);
        QFETCH(QString, text);
        QFETCH(QJsonObject, firstLine);
        load(body({line({})}));
        auto *mime = new QMimeData;
        mime->setData(format, data.toUtf8());
        if (format == "text/plain")
            mime->setText(data);
        QGuiApplication::clipboard()->setMimeData(mime);
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor().document()->firstBlock().text(), text);
        QCOMPARE(lineAttributes(editor().currentDelta()).first(), firstLine);
        // A pasted Markdown bold run arrives bold; a pasted HTML <b> too.
        if (data.contains("<b>"))
            QVERIFY(editor().currentDelta().contains("{\"attributes\":{\"bold\":true},\"insert\":\"you\"}"));
    }

    void markdownDataIsAlwaysAccepted()
    {
        load(body({line({})}));
        QMimeData markdownOnly;
        markdownOnly.setData("text/markdown", "**x**");
        QMimeData unknown;
        unknown.setData("application/x-unknown", "x");
        // canPaste reflects canInsertFromMimeData for the clipboard's data.
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
        auto *data = new QMimeData;
        data->setData("text/markdown", "**x**");
        QGuiApplication::clipboard()->setMimeData(data);
        QVERIFY(editor().canPaste());
        auto *other = new QMimeData;
        other->setData("application/x-unknown", "x");
        QGuiApplication::clipboard()->setMimeData(other);
        QVERIFY(!editor().canPaste());
    }

    void cutAndPasteWithinANoteKeepsAttachmentsAndCheckLists()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line("task", "{\"list\":\"checked\"}"), line("plain"), line({})}));
        editor().moveCursor(QTextCursor::End);
        QVERIFY(editor().insertAttachmentFromPath(writeFile("pic.txt", "bytes")));
        const QString id = insertedAttachmentId();

        // Cut the first two lines (task and plain) and paste them back after the attachment.
        QTextCursor cursor(editor().document());
        cursor.setPosition(0);
        cursor.setPosition(editor().document()->findBlockByNumber(2).position(), QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        QTest::keyClick(&editor(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(blockTexts().first(), QString(QChar::ObjectReplacementCharacter));
        editor().moveCursor(QTextCursor::End);
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        const QList<QJsonObject> lines = lineAttributes(editor().currentDelta());
        QCOMPARE(blockTexts().mid(blockTexts().size() - 2), (QStringList{"task", "plain"}));
        QCOMPARE(lines.at(lines.size() - 2), QJsonObject({{"list", "checked"}}));
        QCOMPARE(insertedAttachmentId(), id);

        // Copy the attachment line and paste it again: both objects point at the record.
        cursor.setPosition(0);
        cursor.setPosition(1, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        QTest::keyClick(&editor(), Qt::Key_C, Qt::ControlModifier);
        editor().moveCursor(QTextCursor::End);
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(editor().currentDelta().count(QStringLiteral("velmora-notes://attachment/") + id), 2);

        // Another note gets the clipboard's HTML instead: no attachment reference crosses notes.
        QVERIFY(insertNoteRow("note-2"));
        editor().loadNote("note-2", body({line({})}));
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(!editor().currentDelta().contains("velmora-notes-attachment"));
    }

    void insertDeltaDropsTrailingLineBreaks()
    {
        load(body({line("ab")}));
        placeCursor(1);
        editor().insertDelta(parse(body({line("X"), line({}), line({})})));
        QCOMPARE(blockTexts(), (QStringList{"aXb"}));
        editor().insertDelta(QJsonArray());
        QCOMPARE(blockTexts(), (QStringList{"aXb"}));
    }

    // --- Links ------------------------------------------------------------------------------

    void insertLinkLinksTheSelection()
    {
        load(body({line("see docs here")}));
        QTextCursor cursor(editor().document());
        cursor.setPosition(4);
        cursor.setPosition(8, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
        m_linkAnswer = NoteEditor::LinkInput{"docs", "https://example.com"};
        editor().insertLink();
        QCOMPARE(m_linkAsked.size(), 1);
        QCOMPARE(m_linkAsked.first().first, QStringLiteral("Insert Link"));
        QCOMPARE(m_linkAsked.first().second.text, QStringLiteral("docs"));
        QCOMPARE(m_linkAsked.first().second.url, QStringLiteral("https://"));
        QVERIFY(editor().currentDelta().contains("{\"attributes\":{\"link\":\"https://example.com\"},\"insert\":\"docs\"}"));

        // A changed text replaces the selection; an empty text inserts the URL.
        editor().moveCursor(QTextCursor::End);
        m_linkAnswer = NoteEditor::LinkInput{"", "example.org"};
        editor().insertLink();
        QVERIFY(editor().currentDelta().contains("{\"attributes\":{\"link\":\"example.org\"},\"insert\":\"example.org\"}"));

        // Cancel or an empty URL changes nothing.
        const QString before = editor().currentDelta();
        m_linkAnswer.reset();
        editor().insertLink();
        m_linkAnswer = NoteEditor::LinkInput{"t", "   "};
        editor().insertLink();
        QCOMPARE(editor().currentDelta(), before);
    }

    void editingALinkWithoutChangesLeavesTheDocumentUntouched()
    {
        load(body({"{\"attributes\":{\"link\":\"https://a.example\"},\"insert\":\"site\"}", line({})}));
        const std::optional<NoteEditor::LinkRange> range = editor().linkAt(2);
        QVERIFY(range);
        QCOMPARE(range->start, 0);
        QCOMPARE(range->end, 4);
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        m_linkAnswer = NoteEditor::LinkInput{"site", "https://a.example"};
        editor().editLink(*range);
        QCOMPARE(m_linkAsked.first().first, QStringLiteral("Edit Link"));
        QCOMPARE(saved.count(), 0);
        QVERIFY(!editor().document()->isUndoAvailable());

        m_linkAnswer = NoteEditor::LinkInput{"site", "https://b.example"};
        editor().editLink(*range);
        QCOMPARE(editor().currentDelta(), body({"{\"attributes\":{\"link\":\"https://b.example\"},\"insert\":\"site\"}", line({})}));
        m_linkAnswer = NoteEditor::LinkInput{"web", "https://b.example"};
        editor().editLink(*editor().linkAt(1));
        QCOMPARE(editor().currentDelta(), body({"{\"attributes\":{\"link\":\"https://b.example\"},\"insert\":\"web\"}", line({})}));
        editor().removeLink(*editor().linkAt(1));
        QCOMPARE(editor().currentDelta(), body({line("web")}));
    }

    void openingALinkFollowsTheSchemeRule_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<QString>("opened");
        QTest::newRow("scheme-less") << "example.com/page" << false << false << "https://example.com/page";
        QTest::newRow("https") << "https://example.com" << false << false << "https://example.com";
        QTest::newRow("mailto") << "mailto:me@example.com" << false << false << "mailto:me@example.com";
        QTest::newRow("file, declined") << "file:///bin/sh" << false << true << "";
        QTest::newRow("file, confirmed") << "file:///bin/sh" << true << true << "file:///bin/sh";
        QTest::newRow("javascript, declined") << "javascript:alert(1)" << false << true << "";
        QTest::newRow("custom scheme, declined") << "ms-calculator:" << false << true << "";
    }
    void openingALinkFollowsTheSchemeRule()
    {
        QFETCH(QString, href);
        QFETCH(bool, answer);
        QFETCH(bool, asks);
        QFETCH(QString, opened);
        m_confirmAnswer = answer;
        editor().openLink(href);
        QCOMPARE(m_confirmed.size(), asks ? 1 : 0);
        if (asks)
            QCOMPARE(m_confirmed.first().toString(), href);
        QCOMPARE(m_opened.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(m_opened.first().toString(), opened);
    }

    void ctrlClickOpensALinkAndShowsItsToolTip()
    {
        load(body({"{\"insert\":\"go \"}", "{\"attributes\":{\"link\":\"example.com\"},\"insert\":\"there now\"}", line({})}));
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        const QPoint onLink = pointAt(6);
        QCOMPARE(editor().toolTipAt(onLink), QStringLiteral("example.com\n(Ctrl+click to open)"));
        QVERIFY(editor().toolTipAt(pointAt(1)).isEmpty());
        // The tool tip event arrives at the viewport.
        QHelpEvent help(QEvent::ToolTip, onLink, editor().viewport()->mapToGlobal(onLink));
        QApplication::sendEvent(editor().viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("example.com\n(Ctrl+click to open)"));
        QHelpEvent elsewhere(QEvent::ToolTip, pointAt(1), editor().viewport()->mapToGlobal(pointAt(1)));
        QApplication::sendEvent(editor().viewport(), &elsewhere);
        QVERIFY(!elsewhere.isAccepted());
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, {}, onLink);
        QVERIFY(m_opened.isEmpty());
        QTest::mouseClick(editor().viewport(), Qt::LeftButton, Qt::ControlModifier, onLink);
        QCOMPARE(m_opened, (QList<QUrl>{QUrl("https://example.com")}));

        std::unique_ptr<QMenu> menu = editor().createContextMenu(onLink);
        QVERIFY(findAction(menu.get(), "Open Link"));
        findAction(menu.get(), "Copy Link Address")->trigger();
        QCOMPARE(m_clipboardText, QStringLiteral("example.com"));
    }

    // --- Attachments ------------------------------------------------------------------------

    void insertingAFileStoresBytesRowAndObject()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line("text")}));
        editor().moveCursor(QTextCursor::End);
        const QString path = writeFile("notes.txt", "file bytes");
        QSignalSpy saved(&editor(), &NoteEditor::savedStateChanged);
        QVERIFY(editor().insertAttachmentFromPath(path));
        QVERIFY(!saved.isEmpty());
        QVERIFY(!editor().isSaved());

        const QString id = insertedAttachmentId();
        QCOMPARE(id.size(), 36);
        const std::optional<Attachment> record = m_attachments->attachmentById(id);
        QVERIFY(record);
        QCOMPARE(record->noteId, QStringLiteral("note-1"));
        QCOMPARE(record->filename, QStringLiteral("notes.txt"));
        QCOMPARE(record->mimeType, QStringLiteral("text/plain"));
        QCOMPARE(record->sizeBytes, qint64(10));
        QCOMPARE(m_attachments->readFile(id), QByteArray("file bytes"));
        QCOMPARE(editor().currentDelta(),
                 QStringLiteral("[{\"insert\":\"text\"},{\"insert\":{\"velmora-notes-attachment\":"
                                "\"velmora-notes://attachment/%1\"}},{\"insert\":\"\\n\"},{\"insert\":\"\\n\"}]")
                     .arg(id));
        QCOMPARE(editor().textCursor().blockNumber(), 1);
        QCOMPARE(editor().toolTipAt(pointAt(4)),
                 QStringLiteral("notes.txt (0.0 KB)\n(Double-click to open, right-click for more)"));
    }

    void emptyOrUnreadableFilesInsertNothing()
    {
        load(body({line("text")}));
        const QString empty = writeFile("empty.txt", "");
        const QString missing = m_files.path() + "/missing.txt";
        // Without a repository nothing is inserted at all.
        QVERIFY(!editor().insertAttachmentFromPath(writeFile("a.txt", "a")));
        editor().setAttachmentRepository(m_attachments.get());
        QVERIFY(!editor().insertAttachmentFromPath(empty));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("insertAttachmentFromPath: can't open"));
        QVERIFY(!editor().insertAttachmentFromPath(missing));
        QCOMPARE(editor().currentDelta(), body({line("text")}));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM attachments").toInt(), 0);
        // No note loaded: nothing either.
        editor().clearNote();
        QVERIFY(!editor().insertAttachmentFromPath(writeFile("b.txt", "b")));
    }

    void pastedFilesAndPicturesBecomeAttachments()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line({})}));
        auto *files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(writeFile("one.txt", "1")), QUrl::fromLocalFile(writeFile("two.txt", "22"))});
        files->setText(QStringLiteral("file:///somewhere"));
        QGuiApplication::clipboard()->setMimeData(files);
        QVERIFY(editor().canPaste());
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM attachments").toInt(), 2);
        QCOMPARE(editor().currentDelta().count("velmora-notes-attachment"), 2);
        QVERIFY(!editor().toPlainText().contains("file:"));

        QImage picture(8, 6, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        auto *image = new QMimeData;
        image->setImageData(picture);
        QGuiApplication::clipboard()->setMimeData(image);
        QVERIFY(editor().canPaste());
        QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM attachments").toInt(), 3);
        const QString id = scalar(*m_db, "SELECT id FROM attachments WHERE filename = 'image.png'").toString();
        QVERIFY(!id.isEmpty());
        QCOMPARE(scalar(*m_db, "SELECT mime_type FROM attachments WHERE id = ?", {id}).toString(), QStringLiteral("image/png"));
        QCOMPARE(QImage::fromData(m_attachments->readFile(id)).size(), QSize(8, 6));
        QVERIFY(editor().currentDelta().contains(id));
    }

    void droppingTwoFilesInsertsTheReadableOne()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line("drop here")}));
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        const QString good = writeFile("photo.png", "not really a png");
        const QString bad = m_files.path() + "/gone.bin";
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(bad), QUrl::fromLocalFile(good)});

        const QPoint at = pointAt(4);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor().viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("insertAttachmentFromPath: can't open"));
        QApplication::sendEvent(editor().viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM attachments").toInt(), 1);
        QCOMPARE(scalar(*m_db, "SELECT filename FROM attachments").toString(), QStringLiteral("photo.png"));
        QVERIFY(!insertedAttachmentId().isEmpty());
        QCOMPARE(blockTexts().first(), QStringLiteral("drop") + QChar::ObjectReplacementCharacter);
    }

    void openAndCopyUseOnlyASafeFileName_data()
    {
        QTest::addColumn<QString>("recordedName");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("ordinary") << "report.pdf" << "report.pdf";
        QTest::newRow("climbing") << "../../../evil.sh" << "evil.sh";
        QTest::newRow("device") << "COM1" << "@.bin";
        QTest::newRow("nothing left") << "../.." << "@.bin";
    }
    void openAndCopyUseOnlyASafeFileName()
    {
        QFETCH(QString, recordedName);
        QFETCH(QString, fileName);
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line({})}));
        Attachment attachment;
        attachment.id = newId();
        attachment.noteId = "note-1";
        attachment.filename = recordedName;
        attachment.mimeType = "application/octet-stream";
        attachment.sizeBytes = 5;
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_attachments->saveFile(attachment.id, "bytes"));
        QVERIFY(m_attachments->insert(attachment));
        fileName.replace("@", attachment.id);

        const QString folder = QDir::tempPath() + "/velmora-notes/" + attachment.id;
        QVERIFY(editor().openAttachment(attachment.id, recordedName));
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().toLocalFile(), folder + '/' + fileName);
        QFile copy(folder + '/' + fileName);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("bytes"));

        editor().copyAttachmentFile(attachment.id, recordedName);
        QCOMPARE(m_clipboardUrls, (QList<QUrl>{QUrl::fromLocalFile(folder + '/' + fileName)}));
        QDir(folder).removeRecursively();
    }

    void attachmentMenuRemovesTheObjectAndTheRecord()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line("x")}));
        editor().moveCursor(QTextCursor::End);
        QVERIFY(editor().insertAttachmentFromPath(writeFile("doc.txt", "12345")));
        const QString id = insertedAttachmentId();
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));

        std::unique_ptr<QMenu> menu = editor().createContextMenu(pointAt(1));
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{"Open", "Save As…", "Copy File", "-", "Remove Attachment"}));

        const QString target = m_files.path() + "/saved.txt";
        QString suggested;
        editor().hooks().askSaveFile = [&](const QString &path) {
            suggested = path;
            return target;
        };
        findAction(menu.get(), "Save As…")->trigger();
        QCOMPARE(suggested, QDir::homePath() + "/doc.txt");
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("12345"));

        findAction(menu.get(), "Remove Attachment")->trigger();
        QVERIFY(insertedAttachmentId().isEmpty());
        QVERIFY(!m_attachments->attachmentById(id));
        QVERIFY(!QFile::exists(AttachmentRepository::filePath(id)));
    }

    void doubleClickOpensAFileExternally()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line({})}));
        QVERIFY(editor().insertAttachmentFromPath(writeFile("data.csv", "a,b\n1,2\n")));
        const QString id = insertedAttachmentId();
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));
        QTest::mouseMove(editor().viewport(), pointAt(0));
        QTRY_COMPARE(editor().viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, pointAt(0));
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().toLocalFile(), QDir::tempPath() + "/velmora-notes/" + id + "/data.csv");
        QDir(QDir::tempPath() + "/velmora-notes/" + id).removeRecursively();
    }

    void doubleClickShowsAnImageInTheViewer()
    {
        editor().setAttachmentRepository(m_attachments.get());
        load(body({line({})}));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&buffer, "PNG"));
        // The file dialog of the Attachment command answers with the picture.
        const QString path = writeFile("red.png", png);
        editor().hooks().askOpenFile = [path] { return path; };
        QTest::keyClick(&editor(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!insertedAttachmentId().isEmpty());
        editor().show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor()));

        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, pointAt(0));
        auto *lightbox = editor().findChild<ImageLightbox *>();
        QVERIFY(lightbox);
        QVERIFY(lightbox->isVisible());
        QVERIFY(lightbox->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(m_opened.isEmpty());
        QPointer<ImageLightbox> watched(lightbox);
        QTest::keyClick(lightbox->view(), Qt::Key_Escape);
        QTRY_VERIFY(!watched);
    }
};

VELM_TEST_MAIN(TestNoteEditor)
#include "tst_noteeditor.moc"
