#pragma once

#include "yesnoprompt.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class AppState;
class NoteEditor;
class QLabel;
class QListWidget;
class QPushButton;

// The saved versions of one note: a list (highest version first), a read-only
// preview, "Save Snapshot Now" and "Restore Selected". A restore first keeps
// the current body as a snapshot, so it can itself be undone. state is not
// owned and must outlive the dialog.
class VersionHistoryDialog final : public QDialog
{
    Q_OBJECT
public:
    // Message boxes, replaced by tests.
    struct Hooks
    {
        // A Yes/No question; true for Yes.
        YesNoPrompt askYesNo;
        std::function<void(QWidget *parent, const QString &title, const QString &text)> inform;
    };

    VersionHistoryDialog(AppState *state, const QString &noteId, QWidget *parent = nullptr);

    Hooks &hooks() { return m_hooks; }

    void saveSnapshotNow();
    void restoreSelected();

    QListWidget *snapshotList() const { return m_list; }
    NoteEditor *preview() const { return m_preview; }
    QPushButton *restoreButton() const { return m_restoreButton; }

private:
    void fillList();
    void onCurrentRowChanged(int row);

    QPointer<AppState> m_state;
    QString m_noteId;
    Hooks m_hooks;
    QLabel *m_empty = nullptr;
    QListWidget *m_list = nullptr;
    NoteEditor *m_preview = nullptr;
    QPushButton *m_restoreButton = nullptr;
};
