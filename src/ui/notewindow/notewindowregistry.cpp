#include "notewindowregistry.h"

#include "appstate.h"
#include "note.h"
#include "noterepository.h"
#include "uilog.h"
#include "windowplacement.h"

#include <QApplication>
#include <QUuid>
#include <QWidget>

NoteWindowRegistry *NoteWindowRegistry::of(AppState *state)
{
    if (!state)
        return nullptr;
    if (auto *registry = state->findChild<NoteWindowRegistry *>(QString(), Qt::FindDirectChildrenOnly))
        return registry;
    return new NoteWindowRegistry(state);
}

NoteWindowRegistry::NoteWindowRegistry(AppState *state)
    : QObject(state)
    , m_state(state)
{
    connect(state, &AppState::aboutToShutDown, this, &NoteWindowRegistry::closeAll);
}

void NoteWindowRegistry::setFactory(Factory factory)
{
    m_factory = std::move(factory);
}

QWidget *NoteWindowRegistry::newNoteInWindow()
{
    // Without a way to show it the note would only be left behind empty.
    if (!m_state->notes() || !m_factory)
        return nullptr;
    const Note note = Note::blank(QUuid::createUuid().toString(QUuid::WithoutBraces), m_state->currentNotebookId());
    if (!m_state->notes()->insert(note))
        return nullptr;
    return open(note.id);
}

QWidget *NoteWindowRegistry::open(const QString &noteId)
{
    QWidget *window = this->window(noteId);
    if (!window) {
        if (!m_factory) {
            qCWarning(lcUi) << "NoteWindowRegistry: no note window factory installed";
            return nullptr;
        }
        window = m_factory(noteId);
        if (!window)
            return nullptr;
        m_windows.insert(noteId, window);
        // A window with a stored place keeps it; a new one cascades from its opener.
        placeOnScreen(window, window->testAttribute(Qt::WA_Moved) ? nullptr : QApplication::activeWindow());
        window->show();
    }
    window->raise();
    window->activateWindow();
    return window;
}

QStringList NoteWindowRegistry::openIds() const
{
    QStringList ids;
    for (auto it = m_windows.cbegin(); it != m_windows.cend(); ++it) {
        if (it.value())
            ids.append(it.key());
    }
    return ids;
}

QWidget *NoteWindowRegistry::window(const QString &noteId) const
{
    return m_windows.value(noteId).data();
}

void NoteWindowRegistry::forget(const QString &noteId)
{
    m_windows.remove(noteId);
}

void NoteWindowRegistry::closeAll()
{
    const auto windows = m_windows;
    m_windows.clear();
    for (const QPointer<QWidget> &window : windows) {
        if (!window)
            continue;
        disconnect(window, nullptr, this, nullptr);
        disconnect(m_state, nullptr, window, nullptr);
        window->close();
    }
}
