// Live logging as the user runs it: the whole program (frame, view, reader, log) in a window,
// logging 8 channels from a serial device, measured from inside.
//
//   live_bench --seconds S [--width W --height H]
//       logs COM1 (set KEST_COM1 to the device, e.g. kest_sim's) for S seconds and prints the
//       lines logged, the paints, the process's CPU time and, per frame, the window thread's CPU
//       in the view's paint and in the hand-over of the frame to the window system.
//   live_bench --idle --seconds S [--width W --height H]
//       logs its own pseudo-terminal on which nothing arrives and prints how often the process's
//       threads woke (voluntary context switches of all of them, per second).
//   live_bench --throughput --seconds S [--width W --height H]
//       makes its own pseudo-terminal, writes numbered 8-channel lines into it as fast as the
//       program takes them for S seconds and prints the rate at which they reached the log, and
//       whether every line arrived once and in order.
//
// Run it under a real X server (Xvfb) to include the copy to the screen. The profile beside the
// executable is set to 8 channels, 100 samples per division.
#include "app/command_ids.h"
#include "app/kest_app.h"
#include "app/kest_view.h"
#include "app/main_frame.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

namespace {

/// CPU time of the window thread so far, seconds.
double ThreadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

/// The application, timing two events on the window thread: the view's paint (the picture) and
/// the main window's update request, which runs that paint and then hands the window's backing
/// store to the window system (the hand-over is the difference).
class CTimingApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* pReceiver, QEvent* pEvent) override {
        const QEvent::Type type = pEvent->type();
        const bool bPaint = type == QEvent::Paint && pReceiver == m_pView;
        const bool bUpdate = type == QEvent::UpdateRequest && pReceiver == m_pFrame;
        if (!bPaint && !bUpdate)
            return QApplication::notify(pReceiver, pEvent);
        const double t0 = ThreadCpuSeconds();
        const bool bResult = QApplication::notify(pReceiver, pEvent);
        const double t = ThreadCpuSeconds() - t0;
        if (bPaint) {
            m_dPaint += t;
            ++m_nPaints;
        } else {
            m_dUpdate += t;
        }
        return bResult;
    }
    QObject* m_pView = nullptr;
    QObject* m_pFrame = nullptr;
    double m_dPaint = 0.0;  ///< seconds in the view's paint events
    double m_dUpdate = 0.0; ///< seconds in the frame's update requests (paint and hand-over)
    long m_nPaints = 0;
};

/// Counts the view's paint events.
class CPaintCounter : public QObject {
public:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint)
            ++m_nPaints;
        return QObject::eventFilter(pObj, pEvent);
    }
    long m_nPaints = 0;
};

double CpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void PrepareProfile(const QString& strIni) {
    QFile::remove(strIni);
    CProfile profile(strIni);
    profile.WriteProfileInt("Setting", "Channels", 8);
    profile.WriteProfileInt("HSetting", "Res", 100);
    profile.WriteProfileInt("Comm", "Port", 1);
    for (int i = 1; i <= 8; ++i) {
        const QByteArray section = "VSetting" + QByteArray::number(i);
        profile.WriteProfileString(section.constData(), "VRes", "10");
        profile.WriteProfileInt(section.constData(), "Pos", 0);
    }
}

/// A full-swing value for channel c of line n.
double Value(int c, long long n) {
    return 50.0 + 45.0 * std::sin(0.01 * static_cast<double>(n) * (1.0 + 0.3 * c));
}

/// Writes numbered lines into the pty as fast as it takes them; counts the lines written.
void WriteLines(int fdMaster, const std::atomic<bool>& bStop, std::atomic<long long>& nWritten,
                std::atomic<long long>& nBytes) {
    // 4096 precomputed line tails, each behind its sequence number.
    std::vector<std::string> tails(4096);
    for (size_t i = 0; i < tails.size(); ++i) {
        char sz[160];
        int nLen = 0;
        for (int c = 1; c < 8; ++c)
            nLen += std::snprintf(sz + nLen, sizeof sz - static_cast<size_t>(nLen), ",%.4f",
                                  Value(c, static_cast<long long>(i)));
        tails[i] = std::string(sz) + "\r\n";
    }
    std::string strChunk;
    long long n = 0;
    while (!bStop) {
        strChunk.clear();
        const long long nFirst = n;
        while (strChunk.size() < 16384) {
            strChunk += std::to_string(n);
            strChunk += tails[static_cast<size_t>(n % 4096)];
            ++n;
        }
        size_t nDone = 0;
        while (nDone < strChunk.size()) {
            const ssize_t nw = ::write(fdMaster, strChunk.data() + nDone, strChunk.size() - nDone);
            if (nw < 0 && errno == EINTR)
                continue;
            if (nw <= 0)
                return;
            nDone += static_cast<size_t>(nw);
        }
        nWritten = nFirst + (n - nFirst);
        nBytes += static_cast<long long>(strChunk.size());
    }
}

/// Checks that the log holds lines 0..nExpected-1 by their first field, once each, in order.
long long CountBadRecords(const QString& strPath, long long nExpected, long long& nRecords,
                          qint64& nFileBytes) {
    QFile file(strPath);
    nRecords = 0;
    nFileBytes = 0;
    if (!file.open(QIODevice::ReadOnly))
        return nExpected;
    nFileBytes = file.size();
    long long nBad = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const long long nSeq = line.left(line.indexOf(',')).toLongLong();
        if (nSeq != nRecords)
            ++nBad;
        ++nRecords;
    }
    return nBad + std::llabs(nRecords - nExpected);
}

/// Voluntary context switches of all the process's threads so far: each is one wait that ended.
long long Wakeups() {
    long long n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(strTask) + QStringLiteral("/status"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                n += line.mid(24).trimmed().toLongLong();
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    CTimingApp app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Run time."),
                                     QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption width(QStringLiteral("width"), QStringLiteral("Window width."),
                                   QStringLiteral("W"), QStringLiteral("1600"));
    const QCommandLineOption height(QStringLiteral("height"), QStringLiteral("Window height."),
                                    QStringLiteral("H"), QStringLiteral("1000"));
    const QCommandLineOption throughput(QStringLiteral("throughput"),
                                        QStringLiteral("Full-speed stream from its own pty."));
    const QCommandLineOption idle(QStringLiteral("idle"),
                                  QStringLiteral("Its own pty on which nothing arrives."));
    parser.addOptions({seconds, width, height, throughput, idle});
    parser.addHelpOption();
    parser.process(app);
    const double dSeconds = parser.value(seconds).toDouble();
    const bool bThroughput = parser.isSet(throughput);
    const bool bIdle = parser.isSet(idle);

    int fdMaster = -1;
    int fdSlave = -1;
    if (bThroughput || bIdle) {
        char szName[256] = {};
        if (::openpty(&fdMaster, &fdSlave, szName, nullptr, nullptr) != 0) {
            std::perror("openpty");
            return 1;
        }
        termios tio{};
        ::tcgetattr(fdSlave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fdSlave, TCSANOW, &tio);
        ::setenv("KEST_COM1", szName, 1);
    }

    CkestApp theApp(QCoreApplication::applicationFilePath());
    PrepareProfile(theApp.m_strIniPath);
    if (!theApp.InitInstance({}))
        return 1;
    CkestView* pView = theApp.m_pView;
    theApp.m_pMainFrame->resize(parser.value(width).toInt(), parser.value(height).toInt());
    CPaintCounter counter;
    pView->installEventFilter(&counter);
    app.m_pView = pView;
    app.m_pFrame = theApp.m_pMainFrame.get();
    QTemporaryDir dir;
    const QString strLog = dir.filePath(QStringLiteral("live.csv"));
    pView->m_fnPickFile = [&](QWidget*, const SFileRequest&) { return strLog; };
    // Let the window appear before the clock starts.
    {
        QEventLoop loop;
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
    }

    if (!pView->RunCommand(ID_FILE_LOGGING) || !pView->IsLogging()) {
        std::fprintf(stderr, "live_bench: logging did not start\n");
        return 1;
    }
    std::atomic<bool> bStop{false};
    std::atomic<long long> nWritten{0};
    std::atomic<long long> nBytes{0};
    std::atomic<bool> bWriterDone{false};
    std::thread writer;
    if (bThroughput)
        writer = std::thread([&] {
            WriteLines(fdMaster, bStop, nWritten, nBytes);
            bWriterDone = true;
        });

    const double dCpu0 = CpuSeconds();
    const long long nWakeups0 = Wakeups();
    const long nPaints0 = counter.m_nPaints;
    const double dPaint0 = app.m_dPaint;
    const double dUpdate0 = app.m_dUpdate;
    const long nTimed0 = app.m_nPaints;
    QElapsedTimer clock;
    clock.start();
    {
        // A real event loop: polling processEvents would busy-wait and spoil every figure.
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(dSeconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double dCpu = CpuSeconds() - dCpu0;
    const long long nWakeups = Wakeups() - nWakeups0;
    const long nTimed = app.m_nPaints - nTimed0;
    const double dPaintMs = nTimed > 0 ? 1000.0 * (app.m_dPaint - dPaint0) / nTimed : 0.0;
    const double dUpdateMs = nTimed > 0 ? 1000.0 * (app.m_dUpdate - dUpdate0) / nTimed : 0.0;
    const long nPaints = counter.m_nPaints - nPaints0;
    const long long nStored = theApp.m_pDoc->m_LogData[0].m_nCount;
    double dElapsed = static_cast<double>(clock.elapsed()) / 1000.0;

    if (bThroughput) {
        bStop = true;
        // The writer may sit in a full terminal: keep draining until it is out.
        while (!bWriterDone || nWritten.load() > theApp.m_pDoc->m_LogData[0].m_nCount) {
            QEventLoop loop;
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
            if (clock.elapsed() > static_cast<qint64>(dSeconds * 1000) + 5000)
                break;
        }
        writer.join();
        dElapsed = static_cast<double>(clock.elapsed()) / 1000.0;
    }
    pView->RunCommand(ID_FILE_LOGGING);
    long long nRecords = 0;
    qint64 nFileBytes = 0;
    const long long nBad =
        CountBadRecords(strLog, bThroughput ? nWritten.load() : 0, nRecords, nFileBytes);
    std::printf("seconds %.2f\nlines_stored %lld\nlines_per_s %.0f\npaints_per_s %.1f\n"
                "cpu_percent %.2f\n",
                dElapsed, nStored, static_cast<double>(nStored) / dElapsed,
                static_cast<double>(nPaints) / dElapsed, 100.0 * dCpu / dElapsed);
    std::printf("wakeups_per_s %.1f\n", static_cast<double>(nWakeups) / dElapsed);
    // CPU of the window thread per frame: the paint, and the rest of the update that hands the
    // frame to the window system.
    std::printf("paint_ms_per_frame %.3f\nhandover_ms_per_frame %.3f\ncpu_ms_per_frame %.3f\n",
                dPaintMs, std::max(dUpdateMs - dPaintMs, 0.0),
                nPaints > 0 ? 1000.0 * dCpu / static_cast<double>(nPaints) : 0.0);
    if (bIdle) {
        ::close(fdMaster);
        ::close(fdSlave);
    }
    if (bThroughput) {
        // The log's bytes hold CR LF as the device sent them.
        std::printf("lines_written %lld\nlog_records %lld\nbad_records %lld\nlog_MB_per_s %.2f\n",
                    nWritten.load(), nRecords, nBad,
                    static_cast<double>(nFileBytes) / dElapsed / 1e6);
        ::close(fdMaster);
        ::close(fdSlave);
    }
    return 0;
}
