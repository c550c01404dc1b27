#pragma once

// A note editor over a fresh database with its hooks recorded, shared by the
// editor test programs.

#include "velmtest.h"

#include "../../storage/storagefixture.h"

#include "attachmentrepository.h"
#include "deltalines.h"
#include "noteeditor.h"
#include "uitestkit.h"

#include <QClipboard>
#include <QMimeData>
#include <QTextBlock>
#include <QTextTable>

#include <memory>
#include <optional>

using namespace StorageFixture;
using namespace DeltaLines;

class EditorFixture
{
protected:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<NoteEditor> m_editor;
    QTemporaryDir m_files;
    // What the editor handed to its hooks, and their answers; new for every test.
    struct Seen
    {
        QList<QUrl> opened;
        QStringList asked;
        bool confirmAnswer = false;
        std::optional<NoteEditor::LinkInput> linkAnswer;
        QList<NoteEditor::LinkInput> linkAsked;
        QString clipboardText;
        QList<QUrl> clipboardUrls;
    } m_seen;

    NoteEditor &editor() { return *m_editor; }
    QString delta() const { return m_editor->currentDelta(); }
    void load(const QStringList &lines) { editor().loadNote(QStringLiteral("note-1"), body(lines), true); }
    void attach() { editor().setAttachmentRepository(m_attachments.get()); }
    bool exposed() { return VelmTest::showExposed(m_editor.get()); }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_files.path() + '/' + name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    }
    void select(int anchor, int position)
    {
        QTextCursor cursor(editor().document());
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        editor().setTextCursor(cursor);
    }
    int blockStart(int block) { return editor().document()->findBlockByNumber(block).position(); }
    QStringList blockTexts() const
    {
        QStringList texts;
        for (QTextBlock b = m_editor->document()->begin(); b.isValid(); b = b.next())
            texts.append(b.text());
        return texts;
    }
    QTextTable *tableAtCursor() const { return m_editor->textCursor().currentTable(); }
    int tableCount() const { return int(m_editor->document()->rootFrame()->childFrames().size()); }
    // Viewport point of a document position.
    QPoint pointAt(int position)
    {
        QTextCursor cursor(editor().document());
        cursor.setPosition(position);
        return editor().cursorRect(cursor).center();
    }
    // Runs the context menu entry at point (the cursor by default); false when there is none.
    bool runMenu(const QString &text, std::optional<QPoint> at = std::nullopt)
    {
        std::unique_ptr<QMenu> menu = editor().createContextMenu(at.value_or(editor().cursorRect().center()));
        QAction *action = VelmTest::findAction(menu->actions(), text);
        if (action)
            action->trigger();
        return action;
    }
    QString insertedAttachmentId()
    {
        const qsizetype at = delta().indexOf("velmora-notes://attachment/");
        return at < 0 ? QString() : delta().mid(at + 27).section('"', 0, 0);
    }
    int attachmentRows() { return scalar(*m_db, "SELECT COUNT(*) FROM attachments").toInt(); }
    // Puts data on the clipboard (which takes it) and answers whether the editor would paste it.
    bool offer(QMimeData *data)
    {
        QGuiApplication::clipboard()->setMimeData(data);
        return editor().canPaste();
    }
    void paste() { QTest::keyClick(&editor(), Qt::Key_V, Qt::ControlModifier); }

    void setUp()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db && addNoteRow(*m_db, "note-1"));
        m_attachments = std::make_unique<AttachmentRepository>(m_db.get());
        m_editor = std::make_unique<NoteEditor>();
        m_editor->resize(600, 400);
        m_seen = {};
        NoteEditor::Hooks &hooks = m_editor->hooks();
        hooks.openUrl = [this](const QUrl &url) { return m_seen.opened.append(url), true; };
        hooks.askYesNo = [this](QWidget *, const QString &, const QString &text) {
            return m_seen.asked.append(text), m_seen.confirmAnswer;
        };
        hooks.askLink = [this](const QString &, const NoteEditor::LinkInput &initial) {
            return m_seen.linkAsked.append(initial), m_seen.linkAnswer;
        };
        hooks.setClipboard = [this](QMimeData *data) {
            const std::unique_ptr<QMimeData> owned(data);
            m_seen.clipboardText = data->text();
            m_seen.clipboardUrls = data->urls();
        };
        hooks.askOpenFile = [] { return QString(); };
        hooks.askSaveFile = [](const QString &) { return QString(); };
        hooks.askTableSize = [] { return std::nullopt; };
    }
    void tearDown()
    {
        m_editor.reset();
        m_attachments.reset();
        m_db.reset();
    }
};
