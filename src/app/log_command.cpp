#include "app/log_command.h"

#include "acquisition/headless_logger.h"
#include "acquisition/port_report.h"
#include "acquisition/stop_signals.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>

namespace {

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

int RunLogCommand(const SLogOptions& cmd, const QString& strProfilePath) {
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
