#pragma once

#include <QPageSize>
#include <QString>
#include <QStringList>

#include <cstdint>

class QCommandLineParser;

/// Output formats of `kest --render`, chosen by the output file's extension.
enum class ERenderFormat { Png, Svg, Emf, Pdf };

/// What `kest --render OUT [--size WxH] [--channels N] [--page A4|Letter] [--landscape]
/// FILE.csv` was asked to do.
struct SRenderOptions {
    QString m_strOut; ///< file to write
    ERenderFormat m_nFormat = ERenderFormat::Png;
    int m_cx = 0;                                  ///< picture width (PNG, SVG, EMF)
    int m_cy = 0;                                  ///< picture height
    int m_nChannels = 0;                           ///< channel count to use; 0 takes the profile's
    QString m_strCsv;                              ///< CSV file to show
    QPageSize::PageSizeId m_nPage = QPageSize::A4; ///< paper of a PDF
    bool m_bLandscape = false;                     ///< PDF page orientation
};

/// What `kest --log FILE.csv [--duration S] [--force] [--publish URL [--topic T] [--format F]]`
/// was asked to do.
struct SLogOptions {
    QString m_strLog;            ///< the log file
    long long m_nDurationMs = 0; ///< --duration, 0 when not given
    bool m_bForce = false;       ///< overwrite an existing log file
    QString m_strPublishUrl;     ///< --publish: checked broker URL, empty when not given
    QString m_strTopic;          ///< --topic: checked topic, empty when not given
    QString m_strFormat;         ///< --format: line, json or influx, empty when not given
};

/// What `kest --stats FILE.csv [--channels N] [--from A] [--to B]` was asked to do.
struct SStatsOptions {
    QString m_strCsv;    ///< CSV file to measure
    int m_nChannels = 0; ///< channel count to use; 0 takes the profile's
    int64_t m_nFrom = 0; ///< first sample index
    int64_t m_nTo = -1;  ///< last sample index, included; -1 up to the last sample
};

/// The one thing a command line asks the program to do.
enum class ECommand { Window, Help, Version, ListPorts, Log, Render, Stats };

/// The whole command line of the program (arguments after the program name), parsed: the
/// command and the options of that command.
struct SCommandLine {
    ECommand m_nCommand = ECommand::Window;
    SLogOptions m_Log;       ///< with ECommand::Log
    SRenderOptions m_Render; ///< with ECommand::Render
    SStatsOptions m_Stats;   ///< with ECommand::Stats
    QStringList m_Files;     ///< the CSV file to open in the window (none or one)
    bool m_bFollow = false;  ///< --follow: keep reading that file as it grows
};

/// Why a command line was refused (the process then exits with code 2).
struct SUsageError {
    QString m_strText; ///< what is wrong, one line
    /// Whether the --help text is to follow; not when the text already says how the command is
    /// used.
    bool m_bWithHelp = true;
};

/// Declares every option of the program on parser.
void AddProgramOptions(QCommandLineParser& parser);
/// The usage text of --help.
QString ProgramHelpText();
/// The text of --version.
QString ProgramVersionText();
/// Parses the arguments after the program name, the options of the chosen command included;
/// false with error set on an unknown option, a missing, repeated or out-of-range value,
/// options that do not go together or more than one file.
bool ParseCommandLine(const QStringList& args, SCommandLine& out, SUsageError& error);
/// Seconds (a decimal number above 0, at most a year) as milliseconds; -1 when not valid.
int64_t ParseDurationMs(const QString& strSeconds);
