#pragma once

#include "editoractions.h"
#include "formatstate.h"

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
    explicit EditorToolbar(QWidget *parent = nullptr);

    void setEditor(NoteEditor *editor);
    NoteEditor *editor() const { return m_editor; }

    QAction *action(EditorCommand command) const;
    QComboBox *headingCombo() const { return m_heading; }

protected:
    void changeEvent(QEvent *event) override;

private:
    QAction *addButton(EditorCommand command, bool checkable);
    void refreshIcons();
    void applyIconSize();
    void onHeadingChosen(int index);
    void onFormatState(const FormatState &state);

    QPointer<NoteEditor> m_editor;
    QHash<EditorCommand, QAction *> m_actions;
    QComboBox *m_heading = nullptr;
    bool m_updating = false;
};
