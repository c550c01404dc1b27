#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class NoteListWidget;
class QLabel;

// The notes the user shared (sharedByMe) or that others shared with the user.
// An empty result shows a greyed explanation instead of an empty list. state
// is not owned and must outlive the screen.
class SharedScreen final : public QWidget
{
    Q_OBJECT
public:
    SharedScreen(AppState *state, bool sharedByMe, QWidget *parent = nullptr);

    void reload();

    bool sharedByMe() const { return m_sharedByMe; }
    NoteListWidget *noteList() const { return m_list; }
    QLabel *emptyLabel() const { return m_emptyLabel; }

private:
    QPointer<AppState> m_state;
    bool m_sharedByMe;
    NoteListWidget *m_list = nullptr;
    QLabel *m_emptyLabel = nullptr;
};
