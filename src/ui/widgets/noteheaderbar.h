#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

// Chip text for a note's notebook: the name, or "Unorganized" for none.
QString notebookChipText(const QString &notebookName);
// Style sheet of the notebook chip for the palette (dark as isDarkPalette says),
// its text at fontScale percent.
QString notebookChipStyleSheet(const QPalette &palette, int fontScale = 100);

// The strip above a note's toolbar: focus toggle, notebook chip, meta text and
// the note action buttons. It only emits requests; the window that holds it
// carries them out. Child widgets have object names ("focusToggle",
// "notebookChip", "metaLabel", "copyButton", "shareButton", "historyButton",
// "moreButton") for tests and style sheets.
class NoteHeaderBar final : public QWidget
{
    Q_OBJECT
public:
    explicit NoteHeaderBar(QWidget *parent = nullptr);

    void setFocusMode(bool focusMode);
    void setCanShare(bool canShare);
    void setEditable(bool editable);
    void setShared(bool shared);
    // Checks "Include in To-Dos" without emitting includeInTodosToggled.
    void setIncludeInTodos(bool include);
    void setNotebookName(const QString &name);
    void setMetaText(const QString &text);
    void setFocusToggleVisible(bool visible);

    // Adds the header's commands that no window menu has of its own (the
    // copy formats, sharing, "Include in To-Dos") to menu, so that they are
    // reachable from the keyboard. The actions stay owned by the header bar
    // and follow its state.
    void addMenuCommands(QMenu *menu) const;

    // Gives the keyboard focus to the first control that takes it; false when none does.
    bool focusFirstControl();

    bool focusMode() const { return m_focusMode; }
    bool includeInTodos() const;

    // Colours, fonts and height for the current palette and font size.
    void refreshLook();

signals:
    void focusToggleClicked();
    void notebookChipClicked();
    void copyAsPlainTextRequested();
    void copyAsMarkdownRequested();
    void copyAsHtmlRequested();
    void shareRequested();
    void historyRequested();
    void includeInTodosToggled(bool enabled);
    void moveToNotebookRequested();
    void exportRequested();
    void printRequested();
    void deleteRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    QToolButton *makeIconButton(const QString &objectName, const QString &toolTip);
    void updateShareButton();

    QToolButton *m_focusToggle = nullptr;
    QPushButton *m_notebookChip = nullptr;
    QLabel *m_metaLabel = nullptr;
    QToolButton *m_copyButton = nullptr;
    QToolButton *m_shareButton = nullptr;
    QToolButton *m_historyButton = nullptr;
    QToolButton *m_moreButton = nullptr;
    QAction *m_includeInTodosAction = nullptr;
    QAction *m_shareAction = nullptr;
    QMenu *m_copyMenu = nullptr;

    bool m_focusMode = false;
    bool m_canShare = false;
    bool m_shared = false;
    bool m_editable = false;
    bool m_refreshingLook = false;
};
