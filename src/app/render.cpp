#include "app/render.h"

#include "acquisition/csv_reader.h"
#include "app/log_command.h"
#include "display/graph.h"
#include "display/metafile_export.h"
#include "display/painter_canvas.h"
#include "display/print_page.h"
#include "settings/complete_save.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <cstdio>

namespace {

constexpr int kMaxImageSide = 20000;
/// A PDF page is drawn at this resolution, so that an A4 page is 4960 x 7016 device units.
constexpr int kPdfDpi = 600;

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

/// Fills doc and graph as the viewer would show FILE.csv; false with strError unless the whole
/// file was read.
bool LoadForRender(const SRenderArgs& args, const CProfile& profile, CkestDoc& doc, CGraph& graph,
                   QString& strError) {
    doc.OnNewDocument();
    SCommSetting comm; // a picture needs no serial line
    LoadAllFromProfile(profile, comm, doc, graph.m_nSamplesPerDiv);
    if (args.m_nChannels > 0)
        doc.InitLogData(args.m_nChannels, CkestDoc::kInitialSize, CkestDoc::kInitialSize);
    CCsvReader reader;
    switch (reader.Read(args.m_strCsv, doc, graph.m_dLatest)) {
    case CCsvReader::EResult::Done:
        return true;
    case CCsvReader::EResult::OpenFailed:
        strError = QStringLiteral("cannot read ") + args.m_strCsv;
        return false;
    case CCsvReader::EResult::ReadError:
        strError = QStringLiteral("read error in %1 after %2 lines")
                       .arg(args.m_strCsv)
                       .arg(reader.m_nLines);
        return false;
    case CCsvReader::EResult::Cancelled:
        strError = QStringLiteral("reading %1 was cancelled").arg(args.m_strCsv);
        return false;
    case CCsvReader::EResult::StoreFull:
        strError = QStringLiteral("out of memory after %1 lines of %2")
                       .arg(reader.m_nLines)
                       .arg(args.m_strCsv);
        return false;
    }
    return false;
}

// Every output is a CCompleteFile: written to a temporary beside the target through the
// descriptor it holds, checked to the last byte, then renamed over the target.

bool WriteImage(const QImage& image, const QString& strOut, QString& strReason) {
    CCompleteFile file(strOut);
    if (!file.Open(&strReason))
        return false;
    if (!image.save(file.Device(), "PNG")) {
        strReason = file.Device()->errorString();
        return false;
    }
    return file.Commit(&strReason);
}

bool WriteSvg(CGraph& graph, const SRenderArgs& args, QString& strReason) {
    CCompleteFile file(args.m_strOut);
    if (!file.Open(&strReason))
        return false;
    QSvgGenerator generator;
    generator.setOutputDevice(file.Device());
    generator.setSize(QSize(args.m_cx, args.m_cy));
    generator.setViewBox(QRect(0, 0, args.m_cx, args.m_cy));
    generator.setTitle(QFileInfo(args.m_strCsv).fileName());
    {
        QPainter painter;
        if (!painter.begin(&generator)) {
            strReason = QStringLiteral("cannot start the SVG");
            return false;
        }
        CPainterCanvas canvas(&painter, args.m_cx, args.m_cy);
        graph.OnSize(args.m_cx, args.m_cy);
        graph.DrawScreen(canvas);
    }
    return file.Commit(&strReason);
}

bool WritePdf(CGraph& graph, const SRenderArgs& args, QString& strReason) {
    CCompleteFile file(args.m_strOut);
    if (!file.Open(&strReason))
        return false;
    {
        QPdfWriter writer(file.Device());
        writer.setResolution(kPdfDpi);
        writer.setPageSize(QPageSize(args.m_nPage));
        writer.setPageOrientation(args.m_bLandscape ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
        writer.setTitle(QFileInfo(args.m_strOut).fileName());
        if (!PrintGraphPage(writer, graph)) {
            strReason = QStringLiteral("cannot start the PDF");
            return false;
        }
    }
    return file.Commit(&strReason);
}

} // namespace

void AddProgramOptions(QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({RenderOption(), SizeOption(), ChannelsOption(), PageOption(),
                       LandscapeOption(), LogOption(), DurationOption(), ForceOption(),
                       ListPortsOption()});
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

bool ParseCommandLine(const QStringList& args, SCommandLine& out, QString& strError) {
    QCommandLineParser parser;
    AddProgramOptions(parser);
    if (!parser.parse(QStringList(QStringLiteral("kest")) + args)) {
        strError = parser.errorText();
        return false;
    }
    out.m_bHelp = parser.isSet(QStringLiteral("help"));
    out.m_bVersion = parser.isSet(QStringLiteral("version"));
    out.m_bRender = parser.isSet(RenderOption());
    out.m_Files = parser.positionalArguments();
    return ParseLogOptions(parser, out, strError);
}

bool ParseRenderArgs(const QStringList& args, SRenderArgs& out, QString& strError) {
    out = SRenderArgs();
    strError.clear();
    QCommandLineParser parser;
    AddProgramOptions(parser);
    if (!parser.parse(QStringList(QStringLiteral("kest")) + args)) {
        strError = parser.errorText();
        return false;
    }
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
    if (!strChannels.isEmpty()) {
        bool bOk = false;
        const int n = strChannels.toInt(&bOk);
        if (!bOk || n < 1 || n > 8) {
            strError = QStringLiteral("--channels must be 1..8, not '%1'").arg(strChannels);
            return false;
        }
        out.m_nChannels = n;
    }
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

QImage RenderCsv(const SRenderArgs& args, const CProfile& profile, QString& strError) {
    CkestDoc doc;
    CGraph graph(&doc);
    if (!LoadForRender(args, profile, doc, graph, strError))
        return {};
    QImage image(args.m_cx, args.m_cy, QImage::Format_RGB32);
    image.fill(Qt::white);
    graph.OnSize(args.m_cx, args.m_cy);
    graph.UpdateDisplayWindow();
    QPainter painter(&image);
    CPainterCanvas canvas(&painter, args.m_cx, args.m_cy);
    graph.DrawScreen(canvas);
    return image;
}

bool RenderToFile(const SRenderArgs& args, const CProfile& profile, QString& strError) {
    bool bWritten = false;
    QString strReason;
    if (args.m_nFormat == ERenderFormat::Png) {
        const QImage image = RenderCsv(args, profile, strError);
        if (image.isNull())
            return false;
        bWritten = WriteImage(image, args.m_strOut, strReason);
    } else {
        CkestDoc doc;
        CGraph graph(&doc);
        if (!LoadForRender(args, profile, doc, graph, strError))
            return false;
        switch (args.m_nFormat) {
        case ERenderFormat::Svg:
            bWritten = WriteSvg(graph, args, strReason);
            break;
        case ERenderFormat::Emf:
            bWritten = ExportGraphMetafile(graph, kFallbackMetafileRef, SSize{args.m_cx, args.m_cy},
                                           args.m_strOut, &strReason);
            break;
        case ERenderFormat::Pdf:
            bWritten = WritePdf(graph, args, strReason);
            break;
        case ERenderFormat::Png:
            break;
        }
    }
    if (!bWritten) {
        strError = QStringLiteral("cannot write ") + args.m_strOut;
        if (!strReason.isEmpty())
            strError += QStringLiteral(": ") + strReason;
    }
    return bWritten;
}

int RunRenderCommand(const QStringList& args, const QString& strProfilePath) {
    SRenderArgs renderArgs;
    QString strError;
    if (!ParseRenderArgs(args, renderArgs, strError)) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 2;
    }
    const CProfile profile(strProfilePath);
    if (!RenderToFile(renderArgs, profile, strError)) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 1;
    }
    return 0;
}
