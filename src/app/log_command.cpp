#include "app/log_command.h"

#include "acquisition/headless_logger.h"
#include "acquisition/port_report.h"
#include "acquisition/serial_config.h"
#include "acquisition/stop_signals.h"
#include "settings/profile.h"
#include "settings/kest_doc.h"
#include "settings/profile_store.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

void PrintError(const QString& strText) {
    std::fprintf(stderr, "kest: %s\n", qPrintable(strText));
}

QString ProcessNameSuffix(qint64 nPid) {
    const QString strName = ProcessName(nPid);
    return strName.isEmpty() ? QString() : QStringLiteral(", %1").arg(strName);
}

/// The line settings as the driver is given them; a stored value the port layer does not take
/// is named as not accepted (the port then keeps what it had).
QString LineSettingsText(const SCommSetting& comm) {
    const SSerialConfig cfg = MapCommSetting(comm);
    QStringList parts;
    QStringList refused;
    if (cfg.m_nBaudRate)
        parts << QStringLiteral("%1 baud").arg(*cfg.m_nBaudRate);
    else
        refused << QStringLiteral("BaudRate=%1").arg(static_cast<int32_t>(comm.m_nBaudRate));
    if (!cfg.m_DataBits)
        refused << QStringLiteral("ByteSize=%1").arg(comm.m_nByteSize);
    if (!cfg.m_Parity)
        refused << QStringLiteral("Parity=%1").arg(comm.m_nParity);
    if (!cfg.m_StopBits)
        refused << QStringLiteral("StopBits=%1").arg(comm.m_nStopBits);
    if (!refused.isEmpty())
        parts << QStringLiteral("stored %1 not accepted, the port keeps its own")
                     .arg(refused.join(QLatin1String(", ")));
    return parts.join(QLatin1String("; "));
}

QString NoticeText(const SHeadlessNotice& notice) {
    const QString strTime = notice.m_Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString strWhy =
        notice.m_nErrno != 0 ? QString::fromLocal8Bit(std::strerror(notice.m_nErrno)) : QString();
    switch (notice.m_eKind) {
    case SHeadlessNotice::EKind::LogWriteFailed:
        return QStringLiteral("%1 writing %2 failed (%3); received lines are dropped until "
                              "writing works again")
            .arg(strTime, notice.m_strWhere, strWhy);
    case SHeadlessNotice::EKind::LogWriteResumed:
        return QStringLiteral("%1 writing %2 works again; %3 lines are missing before this point")
            .arg(strTime, notice.m_strWhere)
            .arg(notice.m_nLinesLost);
    case SHeadlessNotice::EKind::LogMoved:
        return QStringLiteral("%1 %2 was deleted or renamed away; the lines logged are not "
                              "under that name")
            .arg(strTime, notice.m_strWhere);
    case SHeadlessNotice::EKind::PortVanished:
        return QStringLiteral("%1 the device %2 went away; waiting for it to come back")
            .arg(strTime, notice.m_strWhere);
    case SHeadlessNotice::EKind::PortReopened:
        return QStringLiteral("%1 the device %2 is back; logging goes on")
            .arg(strTime, notice.m_strWhere);
    case SHeadlessNotice::EKind::OtherDevice:
        return QStringLiteral("%1 another device appeared as %2; it is not read")
            .arg(strTime, notice.m_strWhere);
    case SHeadlessNotice::EKind::BrokerProblem:
        return QStringLiteral("%1 broker %2; trying again, the log goes on")
            .arg(strTime, notice.m_strWhere);
    }
    return QString();
}

/// The profile's publishing settings with the command line's overrides, and what the payloads
/// say about the channels; none when nothing is to be published.
std::optional<SPublisherConfig> PublishConfig(const SLogOptions& cmd, const CProfile& profile,
                                              int nChannels) {
    SPublishSettings settings = LoadPublishSettings(profile);
    if (!cmd.m_strPublishUrl.isEmpty()) {
        settings.m_bEnabled = true;
        settings.m_strUrl = cmd.m_strPublishUrl;
    }
    if (!cmd.m_strTopic.isEmpty())
        settings.m_strTopic = cmd.m_strTopic;
    if (!cmd.m_strFormat.isEmpty())
        ParsePublishFormat(cmd.m_strFormat, settings.m_eFormat);
    if (!settings.m_bEnabled)
        return std::nullopt;
    SPublisherConfig config;
    config.m_Settings = settings;
    config.m_strHost = QSysInfo::machineHostName();
    config.m_nChannels = nChannels;
    CkestDoc doc;
    LoadChannelAttrs(profile, doc);
    for (int i = 0; i < SPublisherConfig::kMaxChannels; ++i) {
        const SChannelAttr& attr = doc.GetChannelAttr(i);
        config.m_Channels[static_cast<size_t>(i)] = {attr.m_strName, attr.m_strUnit,
                                                     attr.m_dMultiplier, attr.m_dAddend};
    }
    return config;
}

} // namespace

SHeadlessError DescribeLogStart(const SLogStartResult& result) {
    const QString& strWhere = result.m_strWhere;
    const QString strWhy =
        result.m_nErrno != 0
            ? QStringLiteral(": %1").arg(QString::fromLocal8Bit(std::strerror(result.m_nErrno)))
            : QString();
    const QString strPort =
        QStringLiteral("cannot open COM%1 (%2)").arg(result.m_nPort).arg(strWhere);
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
        return {kExitLogFile, QStringLiteral("%1 is a directory, not a log file").arg(strWhere)};
    case ELogStartFailure::LogIsLink:
        return {kExitLogFile,
                QStringLiteral("%1 is a symbolic link; a log is not written through a link")
                    .arg(strWhere)};
    case ELogStartFailure::LogNotRegular:
        return {kExitLogFile,
                QStringLiteral("%1 is not a regular file (a FIFO, socket or block device)")
                    .arg(strWhere)};
    case ELogStartFailure::LogReplaced:
        return {
            kExitLogFile,
            QStringLiteral("%1 was replaced by another file while logging started").arg(strWhere)};
    case ELogStartFailure::LogCannotCreate:
        return {kExitLogFile,
                QStringLiteral("cannot create the log file %1%2").arg(strWhere, strWhy)};
    case ELogStartFailure::PortNotMapped:
        return {
            kExitPortFailed,
            QStringLiteral("COM%1 maps to no device (see kest --list-ports)").arg(result.m_nPort)};
    case ELogStartFailure::PortMissing:
        return {kExitPortFailed,
                strPort + QStringLiteral(": no such device; is it plugged in? kest --list-ports "
                                         "shows which device each COM number is")};
    case ELogStartFailure::PortBusy: {
        const QString strHolder = result.m_nHolderPid > 0
                                      ? QStringLiteral(" (PID %1%2)")
                                            .arg(result.m_nHolderPid)
                                            .arg(ProcessNameSuffix(result.m_nHolderPid))
                                      : QString();
        return {kExitPortFailed,
                strPort + QStringLiteral(": busy, held by another program%1").arg(strHolder)};
    }
    case ELogStartFailure::PortPermission: {
        const QString strGroup = DeviceGroup(strWhere);
        return {kExitPortFailed,
                strPort + QStringLiteral(": permission denied (owner %1); join the group with "
                                         "`sudo adduser $USER %2` and log in again")
                              .arg(DeviceOwner(strWhere), strGroup)};
    }
    case ELogStartFailure::PortCannotOpen:
        return {kExitPortFailed, strPort + strWhy + QStringLiteral(" (see kest --list-ports)")};
    }
    return {kExitUsage, QStringLiteral("logging did not start")};
}

int RunLogCommand(const SLogOptions& cmd, const QString& strProfilePath) {
    // A closed standard error (`2>&1 | head`) must not end the run: the log is what counts.
    std::signal(SIGPIPE, SIG_IGN);
    const CProfile profile(strProfilePath);
    SHeadlessOptions options;
    options.m_strLogPath = cmd.m_strLog;
    options.m_bForce = cmd.m_bForce;
    options.m_nDurationMs = cmd.m_nDurationMs;
    LoadCommSetting(profile, options.m_Comm);
    options.m_PortMap.SetOverrides(LoadPortOverrides(profile));
    options.m_nChannels = LoadChannelCountValue(profile);
    options.m_Publish = PublishConfig(cmd, profile, options.m_nChannels);
    if (options.m_Publish) {
        // Settings that cannot work are refused before anything is opened.
        const EPublishProblem eProblem = CheckPublishSettings(options.m_Publish->m_Settings);
        if (eProblem != EPublishProblem::None) {
            PrintError(QStringLiteral("cannot publish to %1: %2")
                           .arg(options.m_Publish->m_Settings.m_strUrl,
                                QLatin1String(PublishProblemText(eProblem))));
            return kExitPublish;
        }
    }

    CHeadlessLogger logger;
    const SHeadlessError error = DescribeLogStart(logger.Start(options));
    if (error.m_nExit != kExitLogged) {
        PrintError(error.m_strText);
        return error.m_nExit;
    }
    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    if (options.m_Publish) {
        std::fprintf(stderr, "kest: publishing to %s, topic %s, %s, QoS %d\n",
                     qPrintable(options.m_Publish->m_Settings.m_strUrl),
                     qPrintable(options.m_Publish->Topic()),
                     PublishFormatName(options.m_Publish->m_Settings.m_eFormat),
                     options.m_Publish->m_Settings.m_nQos);
    }
    std::fprintf(stderr, "kest: logging COM%d (%s, %s) to %s; Ctrl+C stops\n",
                 options.m_Comm.m_nPort,
                 qPrintable(options.m_PortMap.DevicePathFor(options.m_Comm.m_nPort)),
                 qPrintable(LineSettingsText(options.m_Comm)), qPrintable(cmd.m_strLog));
    logger.m_fnNotice = [bTerminal](const SHeadlessNotice& notice) {
        if (bTerminal)
            std::fputs("\r\033[K", stderr);
        PrintError(NoticeText(notice));
    };
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
    if (const CPublisher* pPublisher = logger.Publisher()) {
        const SPublishStatus status = pPublisher->Status();
        std::fprintf(
            stderr,
            "kest: broker %s: %lld lines sent, %lld dropped, %lld without a value to "
            "send; %d connections%s%s\n",
            qPrintable(pPublisher->Config().m_Settings.m_strUrl),
            static_cast<long long>(status.m_nSent), static_cast<long long>(status.m_nDropped),
            static_cast<long long>(status.m_nSkipped), status.m_nConnects,
            status.m_strError.isEmpty() ? "" : "; last failure: ", qPrintable(status.m_strError));
    }
    if (logger.HasLogFailed()) {
        PrintError(QStringLiteral("writing %1 failed (disk full?): %2 lines are missing from it")
                       .arg(cmd.m_strLog)
                       .arg(logger.LinesLost()));
        return kExitLogFile;
    }
    if (logger.LogMoved()) {
        PrintError(
            QStringLiteral("%1 was deleted or renamed away while logging").arg(cmd.m_strLog));
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
