#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

// The main window's secondary screens (search, to-dos, trash, shared notes):
// each a window of its own, made on first use, kept, and refreshed whenever it
// is brought up again.
class ScreenRegistry final : public QObject
{
    Q_OBJECT
public:
    enum class Screen { Search, Todos, Trash, SharedByMe, SharedWithMe };

    // owner parents the screens (they go with it) and places them beside it.
    explicit ScreenRegistry(QWidget *owner);

    // Registers screen: create makes its widget, refresh runs before every
    // showing and shown after it (both may be null).
    template<typename W>
    void add(Screen screen, const QString &title, std::function<W *(QWidget *owner)> create,
             void (W::*refresh)() = nullptr, void (W::*shown)() = nullptr)
    {
        const auto call = [](void (W::*member)()) {
            return member ? std::function<void(QWidget *)>([member](QWidget *w) { (static_cast<W *>(w)->*member)(); })
                          : std::function<void(QWidget *)>();
        };
        m_entries.insert(screen, {title, [create](QWidget *owner) -> QWidget * { return create(owner); },
                                  call(refresh), call(shown), {}});
    }

    // Refreshes, titles and brings up screen; null for one never registered.
    QWidget *open(Screen screen);
    // The screen's window once it was opened; null before.
    QWidget *window(Screen screen) const;

private:
    struct Entry
    {
        QString title;
        std::function<QWidget *(QWidget *)> create;
        std::function<void(QWidget *)> refresh;
        std::function<void(QWidget *)> shown;
        QPointer<QWidget> window;
    };
    QWidget *m_owner;
    QHash<Screen, Entry> m_entries;
};
