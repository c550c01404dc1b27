#pragma once

#include <QHash>
#include <QPointer>
#include <QToolBar>

#include <functional>

class NoteEditor;
class QAction;
class QComboBox;

// The formatting bar above a note editor: buttons for the editor's commands
// and a mirror of the format state at its cursor. Bound to one editor at a
// time (not owned).
class EditorToolbar final : public QToolBar
{
    Q_OBJECT
public:
    enum class Button {
        Bold,
        Italic,
        Underline,
        Strikethrough,
        InlineCode,
        BulletList,
        NumberedList,
        CheckList,
        CodeBlock,
        Blockquote,
        AlignLeft,
        AlignCenter,
        AlignRight,
        Link,
        Divider,
        Table,
        Attachment,
    };

    explicit EditorToolbar(QWidget *parent = nullptr);

    void setEditor(NoteEditor *editor);
    NoteEditor *editor() const { return m_editor; }

    QAction *action(Button button) const;
    QComboBox *headingCombo() const { return m_heading; }

private:
    QAction *addButton(Button button, const QIcon &icon, const QString &toolTip, bool checkable);
    void triggerCommand(Button button);
    void onHeadingChosen(int index);
    void onFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                       const QString &listType, bool codeBlock, bool blockquote, bool inTable,
                       Qt::Alignment alignment);

    QPointer<NoteEditor> m_editor;
    QHash<Button, QAction *> m_actions;
    QComboBox *m_heading = nullptr;
    bool m_updating = false;
};
