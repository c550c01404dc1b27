#include "terminationsignals.h"

#include "applog.h"

#ifdef Q_OS_UNIX

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kWatched{SIGTERM, SIGHUP, SIGINT};
int s_writeEnd = -1;

// Only async-signal-safe calls: the signal's number goes down a socket that
// the event loop reads.
extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
    errno = savedErrno;
}

class PosixTerminationSignals final : public TerminationSignals
{
public:
    PosixTerminationSignals(int readEnd, int writeEnd, QObject *parent)
        : TerminationSignals(parent)
        , m_readEnd(readEnd)
        , m_writeEnd(writeEnd)
    {
        s_writeEnd = writeEnd;
        auto *notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char byte = 0;
            while (::read(m_readEnd, &byte, 1) == 1)
                emit terminationRequested(int(byte));
        });
        struct sigaction action = {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : kWatched)
            sigaction(signal, &action, nullptr);
    }

    ~PosixTerminationSignals() override
    {
        for (int signal : kWatched)
            std::signal(signal, SIG_DFL);
        s_writeEnd = -1;
        ::close(m_readEnd);
        ::close(m_writeEnd);
    }

private:
    int m_readEnd;
    int m_writeEnd;
};

} // namespace

TerminationSignals *TerminationSignals::install(QObject *parent)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        qCWarning(lcApp) << "Termination signals are not watched: no socket pair:" << strerror(errno);
        return nullptr;
    }
    // Neither end may block: not the handler, nor the reader draining it.
    for (int end : ends)
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    return new PosixTerminationSignals(ends[0], ends[1], parent);
}

#else

TerminationSignals *TerminationSignals::install(QObject *)
{
    return nullptr;
}

#endif
