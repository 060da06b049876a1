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
    QString strError;
    const int nStart = logger.Start(options, strError);
    if (nStart != kExitLogged) {
        PrintError(strError);
        return nStart;
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
    if (logger.Result() == kExitLogFile)
        PrintError(QStringLiteral("writing %1 failed (disk full?); the file is incomplete")
                       .arg(cmd.m_strLog));
    return logger.Result();
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
