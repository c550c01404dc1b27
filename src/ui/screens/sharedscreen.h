#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>

class AppState;
class NoteListWidget;
class QLabel;

// The notes the user shared (sharedByMe) or that others shared with the user,
// each of those saying who shared it. An empty result shows an explanation
// instead of an empty list. state is not owned and must outlive the screen.
class SharedScreen final : public QWidget
{
    Q_OBJECT
public:
    SharedScreen(AppState *state, bool sharedByMe, QWidget *parent = nullptr);

    void reload();
    // Asks the server again for the names of the people who share notes.
    void refreshSharers();

    bool sharedByMe() const { return m_sharedByMe; }
    NoteListWidget *noteList() const { return m_list; }
    QLabel *emptyLabel() const { return m_emptyLabel; }

private:
    QPointer<AppState> m_state;
    bool m_sharedByMe;
    NoteListWidget *m_list = nullptr;
    QLabel *m_emptyLabel = nullptr;
    QHash<QString, QString> m_sharers; // account id → name or e-mail
};
