#include "app/log_command.h"

#include "app/render.h"

#include "acquisition/headless_logger.h"
#include "acquisition/port_report.h"
#include "acquisition/stop_signals.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr double kMaxDurationSeconds = 366.0 * 24 * 3600;

void PrintError(const QString& strText) {
    std::fprintf(stderr, "kest: %s\n", qPrintable(strText));
}

} // namespace

SHeadlessError DescribeLogStart(const SLogStartResult& result) {
    const QString& strWhere = result.m_strWhere;
    switch (result.m_eFailure) {
    case ELogStartFailure::None:
        return {};
    case ELogStartFailure::AlreadyLogging:
        return {kExitUsage, QStringLiteral("already logging")};
    case ELogStartFailure::NoLogPath:
        return {kExitUsage, QStringLiteral("no log file given")};
    case ELogStartFailure::LogExists:
        return {kExitLogFile,
                QStringLiteral("%1 exists; give --force to overwrite it").arg(strWhere)};
    case ELogStartFailure::LogIsDirectory:
        return {kExitLogFile, QStringLiteral("%1 is a directory").arg(strWhere)};
    case ELogStartFailure::LogCannotCreate:
        return {kExitLogFile, QStringLiteral("cannot create the log file %1").arg(strWhere)};
    case ELogStartFailure::PortNotMapped:
        return {
            kExitPortFailed,
            QStringLiteral("COM%1 maps to no device (see kest --list-ports)").arg(result.m_nPort)};
    case ELogStartFailure::PortCannotOpen:
        return {kExitPortFailed, QStringLiteral("cannot open COM%1 (%2): missing, busy or not "
                                                "permitted (see kest --list-ports)")
                                     .arg(result.m_nPort)
                                     .arg(strWhere)};
    }
    return {kExitUsage, QStringLiteral("logging did not start")};
}

const QCommandLineOption& LogOption() {
    static const QCommandLineOption opt(
        QStringLiteral("log"),
        QStringLiteral("Log from the profile's COM port into FILE.csv without a window, until "
                       "Ctrl+C, SIGTERM or the end of --duration."),
        QStringLiteral("FILE.csv"));
    return opt;
}
const QCommandLineOption& DurationOption() {
    static const QCommandLineOption opt(QStringLiteral("duration"),
                                        QStringLiteral("With --log: stop after SECONDS."),
                                        QStringLiteral("SECONDS"));
    return opt;
}
const QCommandLineOption& ForceOption() {
    static const QCommandLineOption opt(
        QStringLiteral("force"), QStringLiteral("With --log: overwrite FILE.csv if it exists."));
    return opt;
}
const QCommandLineOption& ListPortsOption() {
    static const QCommandLineOption opt(
        QStringLiteral("list-ports"),
        QStringLiteral("Show which device each COM number is, by which rule, and whether you may "
                       "open it."));
    return opt;
}

int64_t ParseDurationMs(const QString& strSeconds) {
    bool bOk = false;
    const double d = strSeconds.trimmed().toDouble(&bOk);
    if (!bOk || !std::isfinite(d) || d <= 0.0 || d > kMaxDurationSeconds)
        return -1;
    return std::max<int64_t>(1, std::llround(d * 1000.0));
}

bool ParseLogOptions(const QCommandLineParser& parser, SCommandLine& out, QString& strError) {
    out.m_bListPorts = parser.isSet(ListPortsOption());
    out.m_bForce = parser.isSet(ForceOption());
    const QStringList logs = parser.values(LogOption());
    const QStringList durations = parser.values(DurationOption());
    if (logs.size() > 1 || durations.size() > 1) {
        strError = logs.size() > 1 ? QStringLiteral("--log given twice")
                                   : QStringLiteral("--duration given twice");
        return false;
    }
    out.m_strLog = logs.isEmpty() ? QString() : logs.first();
    const bool bLog = parser.isSet(LogOption());
    if (bLog && out.m_strLog.isEmpty()) {
        strError = QStringLiteral("--log needs a file name");
        return false;
    }
    if ((out.m_bForce || !durations.isEmpty()) && !bLog) {
        strError = QStringLiteral("--duration and --force go with --log FILE.csv");
        return false;
    }
    if (!durations.isEmpty()) {
        out.m_nDurationMs = ParseDurationMs(durations.first());
        if (out.m_nDurationMs < 0) {
            strError = QStringLiteral("--duration must be a number of seconds above 0, not '%1'")
                           .arg(durations.first());
            return false;
        }
    }
    const int nCommands = int(bLog) + int(out.m_bListPorts) + int(out.m_bRender);
    if (nCommands > 1) {
        strError = QStringLiteral("--log, --list-ports and --render cannot be combined");
        return false;
    }
    if ((bLog || out.m_bListPorts) && !out.m_Files.isEmpty()) {
        strError = QStringLiteral("unexpected argument '%1'").arg(out.m_Files.first());
        return false;
    }
    return true;
}

int RunLogCommand(const SCommandLine& cmd, const QString& strProfilePath) {
    const CProfile profile(strProfilePath);
    SHeadlessOptions options;
    options.m_strLogPath = cmd.m_strLog;
    options.m_bForce = cmd.m_bForce;
    options.m_nDurationMs = cmd.m_nDurationMs;
    LoadCommSetting(profile, options.m_Comm);
    options.m_PortMap.SetOverrides(LoadPortOverrides(profile));
    options.m_nChannels = LoadChannelCountValue(profile);

    CHeadlessLogger logger;
    const SHeadlessError error = DescribeLogStart(logger.Start(options));
    if (error.m_nExit != kExitLogged) {
        PrintError(error.m_strText);
        return error.m_nExit;
    }
    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    std::fprintf(stderr, "kest: logging COM%d (%s, %u baud) to %s; Ctrl+C stops\n",
                 options.m_Comm.m_nPort,
                 qPrintable(options.m_PortMap.DevicePathFor(options.m_Comm.m_nPort)),
                 options.m_Comm.m_nBaudRate, qPrintable(cmd.m_strLog));
    if (bTerminal) {
        logger.m_fnStatus = [&logger] {
            std::fprintf(stderr, "\rkest: %s\033[K", qPrintable(logger.StatusText()));
            std::fflush(stderr);
        };
    }
    logger.m_fnFinished = [] { QCoreApplication::exit(0); };
    CStopSignals stopSignals([&logger](int) { logger.RequestStop(); });
    QCoreApplication::exec();
    logger.Stop(); // in case the loop ended some other way

    if (bTerminal)
        std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "kest: %lld lines, %lld bytes written to %s\n",
                 static_cast<long long>(logger.Lines()), static_cast<long long>(logger.Bytes()),
                 qPrintable(cmd.m_strLog));
    if (logger.HasLogFailed()) {
        PrintError(QStringLiteral("writing %1 failed (disk full?); the file is incomplete")
                       .arg(cmd.m_strLog));
        return kExitLogFile;
    }
    return kExitLogged;
}

int RunListPorts(const QString& strProfilePath) {
    const CProfile profile(strProfilePath);
    SCommSetting comm;
    LoadCommSetting(profile, comm);
    CPortMap portMap;
    portMap.SetOverrides(LoadPortOverrides(profile));
    std::fputs(qPrintable(PortListing(portMap, comm.m_nPort, SCommSetting::kMaxPort)), stdout);
    std::fprintf(stdout, "Profile: %s\n", qPrintable(strProfilePath));
    return 0;
}
