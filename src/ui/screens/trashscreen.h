#pragma once

#include "yesnoprompt.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class AppState;
class NoteListWidget;
class QLabel;
class QPushButton;

// The notes in the trash, with restore, permanent deletion of one note and
// emptying the whole trash; both deletions ask first. state is not owned and
// must outlive the screen.
class TrashScreen final : public QWidget
{
    Q_OBJECT
public:
    // A Yes/No question; true for Yes. Replaced by tests.

    explicit TrashScreen(AppState *state, QWidget *parent = nullptr);

    void setAskYesNo(YesNoPrompt ask) { m_askYesNo = std::move(ask); }

    void refresh();
    void restoreSelected();
    void deleteSelected();
    // Empties the trash in slices, one per turn of the event loop, so that
    // the window keeps drawing: the first (kFirstSlice notes) at once, then
    // each sized from the last to take about kSliceMs. A note restored
    // meanwhile stays.
    void emptyTrash();
    bool isEmptying() const { return m_emptyTotal > 0; }
    static constexpr int kFirstSlice = 100;
    static constexpr int kSliceMs = 40;

    NoteListWidget *noteList() const { return m_list; }
    QPushButton *restoreButton() const { return m_restoreButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *emptyButton() const { return m_emptyButton; }
    QLabel *progressLabel() const { return m_progress; }

private:
    void setSelectionButtons(const QString &selectedId);
    void emptyNextSlice();

    QPointer<AppState> m_state;
    YesNoPrompt m_askYesNo;
    NoteListWidget *m_list = nullptr;
    QPushButton *m_restoreButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_emptyButton = nullptr;
    QLabel *m_progress = nullptr;
    QStringList m_emptying;
    int m_emptyTotal = 0;
    int m_sliceSize = kFirstSlice;
};
