#pragma once

#include <QObject>

// Requests to end the process that arrive from outside the event loop (the
// system shutting down, the session ending, Ctrl+C), handed to the event loop
// as terminationRequested so that open notes are stored before quitting.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    // The watcher of this platform, a child of parent; null where there is none.
    static TerminationSignals *install(QObject *parent);

signals:
    void terminationRequested(int signal);

protected:
    using QObject::QObject;
};
