// Simulated measuring device: a pseudo-terminal whose far end sends comma-separated lines of
// sine, square, ramp and noise channels, for running and trying out KEST without hardware.
//
//   kest_sim [--channels N | --channels-from-profile] [--rate R] [--link PATH] [--period S]
//   [--amplitude A] [--base B] [--count N] [--file PATH]
//
// Prints the device path of the terminal (one line on stdout) and sends until SIGINT or SIGTERM.
// With --file the lines are appended to a regular file instead, as a growing log for programs
// that follow files.

#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_bStop = 0;

void OnStopSignal(int) {
    g_bStop = 1;
}

/// The settings of one run, from the command line.
struct SSimOptions {
    int m_nChannels = 4;
    double m_dRate = 100.0; ///< lines per second
    double m_dPeriod = 1.0; ///< seconds per cycle of channel 0; later channels are slower
    double m_dAmplitude = 1.0;
    double m_dBase = 0.0;   ///< level every channel swings around
    long long m_nCount = 0; ///< lines to send, 0 for no limit
    QString m_strLink;
    QString m_strFile; ///< write to this file instead of a terminal
};

/// Value of channel c at time t: the shapes cycle sine, square, ramp, noise.
double ChannelValue(int c, double t, const SSimOptions& opt, std::mt19937& rng) {
    const double dPeriod = opt.m_dPeriod * (1.0 + 0.25 * c);
    const double dPhase = std::fmod(t / dPeriod + 0.125 * c, 1.0);
    const double a = opt.m_dAmplitude;
    const double b = opt.m_dBase;
    switch (c % 4) {
    case 0:
        return b + a * std::sin(2.0 * M_PI * dPhase);
    case 1:
        return b + (dPhase < 0.5 ? a : -a);
    case 2:
        return b - a + 2.0 * a * dPhase;
    default:
        return b + std::uniform_real_distribution<double>(-a, a)(rng);
    }
}

/// Writes one whole line or nothing: a reader that has stopped reading loses lines, as on a real
/// wire, but never gets half of one.
bool SendLine(int fdMaster, const std::string& strLine) {
    size_t nDone = 0;
    while (nDone < strLine.size() && !g_bStop) {
        const ssize_t n = ::write(fdMaster, strLine.data() + nDone, strLine.size() - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (nDone == 0)
            return false; // full (nobody reads) or hung up: drop this line
        pollfd pfd{fdMaster, POLLOUT, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            return false;
    }
    return nDone == strLine.size();
}

bool ParseOptions(const QCoreApplication& app, SSimOptions& opt) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated KEST device: sends CR LF terminated "
                                                    "comma-separated lines on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption channels(QStringLiteral("channels"),
                                      QStringLiteral("Number of channels, 1-32 (default 4)."),
                                      QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Lines per second (default 100)."),
                                  QStringLiteral("R"), QStringLiteral("100"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Create a symbolic link PATH to the device."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption period(QStringLiteral("period"),
                                    QStringLiteral("Seconds per cycle of channel 1 (default 1)."),
                                    QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption amplitude(QStringLiteral("amplitude"),
                                       QStringLiteral("Peak value (default 1)."),
                                       QStringLiteral("A"), QStringLiteral("1"));
    const QCommandLineOption base(QStringLiteral("base"),
                                  QStringLiteral("Level the channels swing around (default 0)."),
                                  QStringLiteral("B"), QStringLiteral("0"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Stop after N lines (default: never)."),
                                   QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption file(QStringLiteral("file"),
                                  QStringLiteral("Write the lines to the file PATH (created or "
                                                 "truncated) instead of a terminal."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption channelsFromProfile(
        QStringLiteral("channels-from-profile"),
        QStringLiteral("As many channels as the kest beside this program starts with: the channel "
                       "count of its profile."));
    parser.addOptions(
        {channels, channelsFromProfile, rate, link, period, amplitude, base, count, file});
    parser.process(app);

    bool bOk[6] = {};
    opt.m_nChannels = parser.value(channels).toInt(&bOk[0]);
    opt.m_dRate = parser.value(rate).toDouble(&bOk[1]);
    opt.m_dPeriod = parser.value(period).toDouble(&bOk[2]);
    opt.m_dAmplitude = parser.value(amplitude).toDouble(&bOk[3]);
    opt.m_nCount = parser.value(count).toLongLong(&bOk[4]);
    opt.m_dBase = parser.value(base).toDouble(&bOk[5]);
    opt.m_strLink = parser.value(link);
    opt.m_strFile = parser.value(file);
    if (!std::all_of(std::begin(bOk), std::end(bOk), [](bool b) { return b; }) ||
        opt.m_nChannels < 1 || opt.m_nChannels > 32 || !(opt.m_dRate > 0.0) || opt.m_dRate > 1e6 ||
        !(opt.m_dPeriod > 0.0) || opt.m_nCount < 0) {
        std::fprintf(stderr, "kest_sim: invalid option value (see --help)\n");
        return false;
    }
    if (parser.isSet(channelsFromProfile)) {
        if (parser.isSet(channels)) {
            std::fprintf(stderr, "kest_sim: --channels and --channels-from-profile exclude each "
                                 "other\n");
            return false;
        }
        // The profile kest itself would open, read as kest reads it.
        const QString strProfile =
            ProgramProfilePath(QCoreApplication::applicationDirPath() + QStringLiteral("/kest"));
        opt.m_nChannels = LoadChannelCountValue(CProfile(strProfile));
        std::fprintf(stderr, "kest_sim: channel count %d, from the profile %s\n", opt.m_nChannels,
                     qPrintable(strProfile));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Qt took the user's locale; the device always sends '.' as the decimal point.
    std::setlocale(LC_NUMERIC, "C");
    SSimOptions opt;
    if (!ParseOptions(app, opt))
        return 2;

    int fdMaster = -1;
    int fdSlave = -1;
    char szName[256] = {};
    if (!opt.m_strFile.isEmpty()) {
        const QByteArray path = QFile::encodeName(opt.m_strFile);
        fdMaster = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        if (fdMaster < 0) {
            std::perror("kest_sim: open");
            return 1;
        }
        std::snprintf(szName, sizeof szName, "%s", path.constData());
    } else if (::openpty(&fdMaster, &fdSlave, szName, nullptr, nullptr) != 0) {
        std::perror("kest_sim: openpty");
        return 1;
    }
    // Raw line discipline, so the CR is not turned into LF and nothing is echoed back. The slave
    // stays open here: without it every write would fail while no program has the port open.
    if (fdSlave >= 0) {
        termios tio{};
        ::tcgetattr(fdSlave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fdSlave, TCSANOW, &tio);
        ::fcntl(fdMaster, F_SETFL, ::fcntl(fdMaster, F_GETFL) | O_NONBLOCK);
    }

    const QByteArray link = QFile::encodeName(opt.m_strLink);
    if (!link.isEmpty()) {
        if (QFileInfo(opt.m_strLink).isSymLink())
            ::unlink(link.constData());
        if (::symlink(szName, link.constData()) != 0) {
            std::perror("kest_sim: symlink");
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", szName);
    std::fflush(stdout);

    std::mt19937 rng(12345);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point tStart = Clock::now();
    long long nSent = 0;
    long long nDropped = 0;
    char szValue[64];
    while (!g_bStop && (opt.m_nCount == 0 || nSent + nDropped < opt.m_nCount)) {
        const double dElapsed = std::chrono::duration<double>(Clock::now() - tStart).count();
        long long nDue = static_cast<long long>(dElapsed * opt.m_dRate) + 1;
        if (opt.m_nCount > 0)
            nDue = std::min(nDue, opt.m_nCount);
        // After a stall (suspended process) do not burst out a backlog of more than a second.
        const long long nBacklog = static_cast<long long>(opt.m_dRate) + 1;
        if (nDue - (nSent + nDropped) > nBacklog)
            nDropped = nDue - nBacklog - nSent;
        while (nSent + nDropped < nDue && !g_bStop) {
            const long long n = nSent + nDropped;
            const double t = static_cast<double>(n) / opt.m_dRate;
            std::string strLine;
            for (int c = 0; c < opt.m_nChannels; ++c) {
                std::snprintf(szValue, sizeof szValue, "%s%.4f", c ? "," : "",
                              ChannelValue(c, t, opt, rng));
                strLine += szValue;
            }
            strLine += "\r\n";
            if (SendLine(fdMaster, strLine))
                ++nSent;
            else
                ++nDropped;
        }
        const double dNext = static_cast<double>(nSent + nDropped) / opt.m_dRate;
        const auto tNext = tStart + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(dNext));
        std::this_thread::sleep_until(
            std::min(tNext, Clock::now() + std::chrono::milliseconds(50)));
    }

    if (!link.isEmpty())
        ::unlink(link.constData());
    ::close(fdMaster);
    if (fdSlave >= 0)
        ::close(fdSlave);
    std::fprintf(stderr, "kest_sim: %lld lines sent, %lld dropped\n", nSent, nDropped);
    return 0;
}
