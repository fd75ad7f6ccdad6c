#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A hang-up (the terminal or the remote session went away) stops the run as Ctrl-C does,
// with its log, instead of ending the program wherever it stands.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};

void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

TStopSignals::TStopSignals(QObject *parent) : QObject(parent)
{
    Q_ASSERT(g_pipe[0] < 0);
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TStopSignals::readSignals);
    for (const int signal : kStopSignals)
        handle(signal, onStopSignal);
}

TStopSignals::~TStopSignals()
{
    if (!m_notifier)
        return;
    // The program is ending and its log is saved: a late Ctrl-C must not turn that into a
    // death by signal.
    for (const int signal : kStopSignals)
        handle(signal, SIG_IGN);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TStopSignals::readSignals()
{
    char bytes[16];
    for (ssize_t n; (n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0;) {
        for (ssize_t i = 0; i < n; ++i)
            emit stopRequested(++m_count);
    }
}
