#include "acquisition/stop_signals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// A signal handler may only do async-signal-safe things: it writes the signal number into a pipe
// that the event loop watches.
int g_fdSignalPipe[2] = {-1, -1};
const int g_nSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_OldActions[3];

void OnSignal(int nSignal) {
    const int nSavedErrno = errno;
    const unsigned char c = static_cast<unsigned char>(nSignal);
    [[maybe_unused]] const ssize_t n = ::write(g_fdSignalPipe[1], &c, 1);
    errno = nSavedErrno;
}

} // namespace

CStopSignals::CStopSignals(std::function<void(int)> fnOnSignal)
    : m_fnOnSignal(std::move(fnOnSignal)) {
    if (g_fdSignalPipe[0] >= 0 || ::pipe2(g_fdSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_pNotifier = std::make_unique<QSocketNotifier>(g_fdSignalPipe[0], QSocketNotifier::Read);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(g_nSignals); ++i)
        ::sigaction(g_nSignals[i], &sa, &g_OldActions[i]);
    m_bInstalled = true;
}

CStopSignals::~CStopSignals() {
    if (!m_bInstalled)
        return;
    for (size_t i = 0; i < std::size(g_nSignals); ++i)
        ::sigaction(g_nSignals[i], &g_OldActions[i], nullptr);
    m_pNotifier.reset();
    ::close(g_fdSignalPipe[0]);
    ::close(g_fdSignalPipe[1]);
    g_fdSignalPipe[0] = g_fdSignalPipe[1] = -1;
}

void CStopSignals::OnReadable() {
    unsigned char c = 0;
    while (::read(g_fdSignalPipe[0], &c, 1) == 1) {
        if (m_fnOnSignal)
            m_fnOnSignal(c);
    }
}
