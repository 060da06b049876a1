#include "app/command_line.h"

#include "acquisition/publish_settings.h"

#include "display/metafile_export.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

constexpr int kMaxImageSide = 20000;
constexpr double kMaxDurationSeconds = 366.0 * 24 * 3600;

const QCommandLineOption& RenderOption() {
    static const QCommandLineOption opt(
        QStringLiteral("render"),
        QStringLiteral("Draw FILE.csv into OUT without a window; the format follows OUT's "
                       "extension: .png, .svg, .emf or .pdf."),
        QStringLiteral("OUT"));
    return opt;
}
const QCommandLineOption& SizeOption() {
    static const QCommandLineOption opt(
        QStringLiteral("size"),
        QStringLiteral("Picture size in pixels (required for .png and .svg; .emf default "
                       "1600x1000; not for .pdf)."),
        QStringLiteral("WxH"));
    return opt;
}
const QCommandLineOption& ChannelsOption() {
    static const QCommandLineOption opt(
        QStringLiteral("channels"), QStringLiteral("Channel count 1..8 (default: the profile's)."),
        QStringLiteral("N"));
    return opt;
}
const QCommandLineOption& PageOption() {
    static const QCommandLineOption opt(QStringLiteral("page"),
                                        QStringLiteral("Paper of a .pdf: A4 (default) or Letter."),
                                        QStringLiteral("A4|Letter"));
    return opt;
}
const QCommandLineOption& LandscapeOption() {
    static const QCommandLineOption opt(QStringLiteral("landscape"),
                                        QStringLiteral("Landscape page for a .pdf."));
    return opt;
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
const QCommandLineOption& PublishOption() {
    static const QCommandLineOption opt(
        QStringLiteral("publish"),
        QStringLiteral("With --log: also send every line to the MQTT broker at URL "
                       "(mqtt://host[:port] or mqtts://host[:port]), instead of the profile's."),
        QStringLiteral("URL"));
    return opt;
}
const QCommandLineOption& TopicOption() {
    static const QCommandLineOption opt(
        QStringLiteral("topic"),
        QStringLiteral("With --publish: the topic (default kest/<host>/COM<n>)."),
        QStringLiteral("TOPIC"));
    return opt;
}
const QCommandLineOption& FormatOption() {
    static const QCommandLineOption opt(
        QStringLiteral("format"),
        QStringLiteral("With --publish: line (the line as received, default), json or influx."),
        QStringLiteral("line|json|influx"));
    return opt;
}
const QCommandLineOption& FollowOption() {
    static const QCommandLineOption opt(
        QStringLiteral("follow"),
        QStringLiteral("Open FILE.csv in the window and keep reading it as another program "
                       "appends to it."));
    return opt;
}
const QCommandLineOption& StatsOption() {
    static const QCommandLineOption opt(
        QStringLiteral("stats"),
        QStringLiteral("Print the statistics of each channel of FILE.csv (display units, the "
                       "profile's scaling) as CSV on standard output."));
    return opt;
}
const QCommandLineOption& FromOption() {
    static const QCommandLineOption opt(
        QStringLiteral("from"), QStringLiteral("With --stats: first sample index (default 0)."),
        QStringLiteral("A"));
    return opt;
}
const QCommandLineOption& ToOption() {
    static const QCommandLineOption opt(
        QStringLiteral("to"),
        QStringLiteral("With --stats: last sample index, included (default: the last sample)."),
        QStringLiteral("B"));
    return opt;
}
const QCommandLineOption& ListPortsOption() {
    static const QCommandLineOption opt(
        QStringLiteral("list-ports"),
        QStringLiteral("Show which device each COM number is, by which rule, and whether you may "
                       "open it."));
    return opt;
}

QString SingleValue(const QCommandLineParser& parser, const QCommandLineOption& opt,
                    QString& strError) {
    const QStringList values = parser.values(opt);
    if (values.size() > 1)
        strError = QStringLiteral("--%1 given twice").arg(opt.names().first());
    return values.isEmpty() ? QString() : values.last();
}

bool FormatFromName(const QString& strOut, ERenderFormat& nFormat) {
    const QString strExt = QFileInfo(strOut).suffix().toLower();
    if (strExt == QLatin1String("png"))
        nFormat = ERenderFormat::Png;
    else if (strExt == QLatin1String("svg"))
        nFormat = ERenderFormat::Svg;
    else if (strExt == QLatin1String("emf"))
        nFormat = ERenderFormat::Emf;
    else if (strExt == QLatin1String("pdf"))
        nFormat = ERenderFormat::Pdf;
    else
        return false;
    return true;
}

/// Takes --publish, --topic and --format into out; false with strError set when they come
/// without --log (or the latter two without --publish), twice, or with a value that would be
/// refused in the dialog.
bool ParsePublishOptions(const QCommandLineParser& parser, bool bLog, SLogOptions& out,
                         QString& strError) {
    out.m_strPublishUrl = SingleValue(parser, PublishOption(), strError).trimmed();
    out.m_strTopic = SingleValue(parser, TopicOption(), strError);
    out.m_strFormat = SingleValue(parser, FormatOption(), strError);
    if (!strError.isEmpty())
        return false;
    const bool bPublish = parser.isSet(PublishOption());
    if (bPublish && !bLog) {
        strError = QStringLiteral("--publish goes with --log FILE.csv");
        return false;
    }
    if ((parser.isSet(TopicOption()) || parser.isSet(FormatOption())) && !bPublish) {
        strError = QStringLiteral("--topic and --format go with --publish URL");
        return false;
    }
    if (!bPublish)
        return true;
    SBrokerUrl url;
    if (const EPublishProblem e = ParseBrokerUrl(out.m_strPublishUrl, url);
        e != EPublishProblem::None) {
        strError = QStringLiteral("--publish '%1': %2")
                       .arg(out.m_strPublishUrl, QLatin1String(PublishProblemText(e)));
        return false;
    }
    if (parser.isSet(TopicOption())) {
        if (const EPublishProblem e = CheckTopic(out.m_strTopic); e != EPublishProblem::None) {
            strError = QStringLiteral("--topic: %1").arg(QLatin1String(PublishProblemText(e)));
            return false;
        }
    }
    EPublishFormat eFormat = EPublishFormat::Line;
    if (parser.isSet(FormatOption()) && !ParsePublishFormat(out.m_strFormat, eFormat)) {
        strError =
            QStringLiteral("--format must be line, json or influx, not '%1'").arg(out.m_strFormat);
        return false;
    }
    return true;
}

/// --channels as 1..8 into nChannels (left alone when not given); false with strError set when
/// it is out of range.
bool ParseChannelsOption(const QString& strChannels, int& nChannels, QString& strError) {
    if (strChannels.isEmpty())
        return true;
    bool bOk = false;
    const int n = strChannels.toInt(&bOk);
    if (!bOk || n < 1 || n > 8) {
        strError = QStringLiteral("--channels must be 1..8, not '%1'").arg(strChannels);
        return false;
    }
    nChannels = n;
    return true;
}

/// A sample index of --from or --to: a whole number from 0; -1 when it is not one.
int64_t ParseSampleIndex(const QString& str) {
    bool bOk = false;
    const qlonglong n = str.trimmed().toLongLong(&bOk);
    return bOk && n >= 0 ? n : -1;
}

/// Takes --stats, --channels, --from, --to and the CSV file from parser into out; false with
/// strError set when a value is missing, repeated or out of range.
bool ParseStatsOptions(const QCommandLineParser& parser, SStatsOptions& out, QString& strError) {
    const QString strChannels = SingleValue(parser, ChannelsOption(), strError);
    const QString strFrom = SingleValue(parser, FromOption(), strError);
    const QString strTo = SingleValue(parser, ToOption(), strError);
    if (!strError.isEmpty())
        return false;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        strError = files.size() > 1 ? QStringLiteral("more than one CSV file given")
                                    : QStringLiteral("usage: kest --stats FILE.csv [--channels N] "
                                                     "[--from A] [--to B]");
        return false;
    }
    out.m_strCsv = files.first();
    if (!ParseChannelsOption(strChannels, out.m_nChannels, strError))
        return false;
    for (const auto& [pStr, pValue, pszName] :
         {std::tuple{&strFrom, &out.m_nFrom, "from"}, std::tuple{&strTo, &out.m_nTo, "to"}}) {
        if (pStr->isEmpty())
            continue;
        *pValue = ParseSampleIndex(*pStr);
        if (*pValue < 0) {
            strError = QStringLiteral("--%1 must be a sample index from 0, not '%2'")
                           .arg(QLatin1String(pszName), *pStr);
            return false;
        }
    }
    if (!strTo.isEmpty() && out.m_nTo < out.m_nFrom) {
        strError = QStringLiteral("--to %1 lies before --from %2").arg(out.m_nTo).arg(out.m_nFrom);
        return false;
    }
    return true;
}

/// Takes --log, --duration and --force from parser into out; false with strError set when they
/// are combined wrongly (with each other, with --list-ports or --render, with a file) or the
/// duration is not a positive number of seconds.
bool ParseLogOptions(const QCommandLineParser& parser, SLogOptions& out, QString& strError) {
    const bool bListPorts = parser.isSet(ListPortsOption());
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
    const int nCommands = int(bLog) + int(bListPorts) + int(parser.isSet(RenderOption())) +
                          int(parser.isSet(StatsOption()));
    if (nCommands > 1) {
        strError = QStringLiteral("--log, --list-ports, --render and --stats cannot be combined");
        return false;
    }
    const QStringList files = parser.positionalArguments();
    if ((bLog || bListPorts) && !files.isEmpty()) {
        strError = QStringLiteral("unexpected argument '%1'").arg(files.first());
        return false;
    }
    return ParsePublishOptions(parser, bLog, out, strError);
}

/// Takes --render, --size, --channels, --page, --landscape and the CSV file from parser into
/// out; false with strError set when an argument is missing, repeated, out of range or does not
/// fit the output format.
bool ParseRenderOptions(const QCommandLineParser& parser, SRenderOptions& out, QString& strError) {
    out.m_strOut = SingleValue(parser, RenderOption(), strError);
    const QString strSize = SingleValue(parser, SizeOption(), strError);
    const QString strChannels = SingleValue(parser, ChannelsOption(), strError);
    const QString strPage = SingleValue(parser, PageOption(), strError);
    if (!strError.isEmpty())
        return false;
    const QStringList files = parser.positionalArguments();
    if (out.m_strOut.isEmpty() || files.size() != 1) {
        strError = files.size() > 1 ? QStringLiteral("more than one CSV file given")
                                    : QStringLiteral("usage: kest --render OUT.png|.svg|.emf|.pdf "
                                                     "[--size WIDTHxHEIGHT] [--channels N] "
                                                     "[--page A4|Letter] [--landscape] FILE.csv");
        return false;
    }
    out.m_strCsv = files.first();
    if (!FormatFromName(out.m_strOut, out.m_nFormat)) {
        strError =
            QStringLiteral("OUT must end in .png, .svg, .emf or .pdf, not '%1'").arg(out.m_strOut);
        return false;
    }
    const bool bPdf = out.m_nFormat == ERenderFormat::Pdf;
    if (!strSize.isEmpty()) {
        static const QRegularExpression re(QStringLiteral("^(\\d{1,6})[xX](\\d{1,6})$"));
        const QRegularExpressionMatch m = re.match(strSize);
        const int cx = m.hasMatch() ? m.captured(1).toInt() : 0;
        const int cy = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (cx < 1 || cy < 1 || cx > kMaxImageSide || cy > kMaxImageSide) {
            strError = QStringLiteral("--size must be WIDTHxHEIGHT, each 1..%1, not '%2'")
                           .arg(kMaxImageSide)
                           .arg(strSize);
            return false;
        }
        if (bPdf) {
            strError = QStringLiteral("--size does not apply to a PDF (use --page, --landscape)");
            return false;
        }
        out.m_cx = cx;
        out.m_cy = cy;
    } else if (out.m_nFormat == ERenderFormat::Emf) {
        out.m_cx = kMetafileSize.cx;
        out.m_cy = kMetafileSize.cy;
    } else if (!bPdf) {
        strError = QStringLiteral("--size WIDTHxHEIGHT is required for .png and .svg");
        return false;
    }
    if (!ParseChannelsOption(strChannels, out.m_nChannels, strError))
        return false;
    if ((!strPage.isEmpty() || parser.isSet(LandscapeOption())) && !bPdf) {
        strError = QStringLiteral("--page and --landscape apply to a PDF only");
        return false;
    }
    if (!strPage.isEmpty()) {
        if (strPage.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
            out.m_nPage = QPageSize::A4;
        else if (strPage.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
            out.m_nPage = QPageSize::Letter;
        else {
            strError = QStringLiteral("--page must be A4 or Letter, not '%1'").arg(strPage);
            return false;
        }
    }
    out.m_bLandscape = parser.isSet(LandscapeOption());
    return true;
}

} // namespace

void AddProgramOptions(QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({RenderOption(), SizeOption(), ChannelsOption(), PageOption(),
                       LandscapeOption(), LogOption(), DurationOption(), ForceOption(),
                       PublishOption(), TopicOption(), FormatOption(), ListPortsOption(),
                       FollowOption(), StatsOption(), FromOption(), ToOption()});
    parser.addPositionalArgument(QStringLiteral("FILE.csv"),
                                 QStringLiteral("CSV file to open for viewing (or to render)."),
                                 QStringLiteral("[FILE.csv]"));
    parser.setApplicationDescription(
        QStringLiteral("KEST: data logger and live graph display for serial measuring devices."));
}

QString ProgramHelpText() {
    QCommandLineParser parser;
    AddProgramOptions(parser);
    // Asked before any application object exists, the parser does not know the program's name.
    return parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("kest"));
}

QString ProgramVersionText() {
    return QStringLiteral("kest %1\n").arg(QStringLiteral(KEST_VERSION));
}

int64_t ParseDurationMs(const QString& strSeconds) {
    bool bOk = false;
    const double d = strSeconds.trimmed().toDouble(&bOk);
    if (!bOk || !std::isfinite(d) || d <= 0.0 || d > kMaxDurationSeconds)
        return -1;
    return std::max<int64_t>(1, std::llround(d * 1000.0));
}

bool ParseCommandLine(const QStringList& args, SCommandLine& out, SUsageError& error) {
    out = SCommandLine();
    error = SUsageError();
    QCommandLineParser parser;
    AddProgramOptions(parser);
    if (!parser.parse(QStringList(QStringLiteral("kest")) + args)) {
        error.m_strText = parser.errorText();
        return false;
    }
    // The headless options are checked first, whatever the command: a wrong combination is
    // refused even beside --help.
    if (!ParseLogOptions(parser, out.m_Log, error.m_strText))
        return false;
    if ((parser.isSet(FromOption()) || parser.isSet(ToOption())) && !parser.isSet(StatsOption())) {
        error.m_strText = QStringLiteral("--from and --to go with --stats FILE.csv");
        return false;
    }
    if (parser.isSet(FollowOption()) &&
        (parser.isSet(LogOption()) || parser.isSet(ListPortsOption()) ||
         parser.isSet(RenderOption()) || parser.isSet(StatsOption()))) {
        error.m_strText = QStringLiteral(
            "--follow opens a CSV file in the window; it goes with no other command");
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out.m_nCommand = ECommand::Help;
        return true;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out.m_nCommand = ECommand::Version;
        return true;
    }
    if (parser.isSet(ListPortsOption())) {
        out.m_nCommand = ECommand::ListPorts;
        return true;
    }
    if (parser.isSet(LogOption())) {
        out.m_nCommand = ECommand::Log;
        return true;
    }
    // The errors of the render options and of the file count carry their own usage.
    error.m_bWithHelp = false;
    if (parser.isSet(RenderOption())) {
        out.m_nCommand = ECommand::Render;
        return ParseRenderOptions(parser, out.m_Render, error.m_strText);
    }
    if (parser.isSet(StatsOption())) {
        out.m_nCommand = ECommand::Stats;
        return ParseStatsOptions(parser, out.m_Stats, error.m_strText);
    }
    out.m_Files = parser.positionalArguments();
    if (out.m_Files.size() > 1) {
        error.m_strText = QStringLiteral("one CSV file at most");
        return false;
    }
    out.m_bFollow = parser.isSet(FollowOption());
    if (out.m_bFollow && out.m_Files.size() != 1) {
        error.m_strText = QStringLiteral("usage: kest --follow FILE.csv");
        return false;
    }
    return true;
}
