#include "app/StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = { SIGTERM, SIGINT };

// Read end, write end; -1 while no instance exists.
int g_pipe[2] = { -1, -1 };

extern "C" void notePipe(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    // A full pipe already holds a request that has not been read yet: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &number, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject* parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    struct sigaction action { };
    action.sa_handler = notePipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    for (const int signal : kSignals)
        ::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::readPipe()
{
    char numbers[16];
    const ssize_t n = ::read(g_pipe[0], numbers, sizeof numbers);
    for (ssize_t i = 0; i < n; ++i)
        emit received(numbers[i]);
}
