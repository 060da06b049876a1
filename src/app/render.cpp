#include "app/render.h"

#include "acquisition/csv_reader.h"
#include "display/graph.h"
#include "display/metafile_export.h"
#include "display/painter_canvas.h"
#include "display/print_page.h"
#include "settings/complete_save.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cstdio>

namespace {

/// A PDF page is drawn at this resolution, so that an A4 page is 4960 x 7016 device units.
constexpr int kPdfDpi = 600;

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

bool WriteSvg(CGraph& graph, const SRenderOptions& args, QString& strReason) {
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

bool WritePdf(CGraph& graph, const SRenderOptions& args, QString& strReason) {
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

bool LoadCsvAsViewed(const QString& strCsv, int nChannels, const CProfile& profile, CkestDoc& doc,
                     CGraph& graph, QString& strError) {
    doc.OnNewDocument();
    SCommSetting comm; // a picture needs no serial line
    LoadAllFromProfile(profile, comm, doc, graph.m_nSamplesPerDiv);
    if (nChannels > 0)
        doc.InitLogData(nChannels, CkestDoc::kInitialSize, CkestDoc::kInitialSize);
    CCsvReader reader;
    switch (reader.Read(strCsv, doc, graph.m_dLatest)) {
    case CCsvReader::EResult::Done:
        return true;
    case CCsvReader::EResult::OpenFailed:
        strError = QStringLiteral("cannot read ") + strCsv;
        return false;
    case CCsvReader::EResult::ReadError:
        strError =
            QStringLiteral("read error in %1 after %2 lines").arg(strCsv).arg(reader.m_nLines);
        return false;
    case CCsvReader::EResult::Cancelled:
        strError = QStringLiteral("reading %1 was cancelled").arg(strCsv);
        return false;
    case CCsvReader::EResult::StoreFull:
        strError =
            QStringLiteral("out of memory after %1 lines of %2").arg(reader.m_nLines).arg(strCsv);
        return false;
    }
    return false;
}

QImage RenderCsv(const SRenderOptions& args, const CProfile& profile, QString& strError) {
    CkestDoc doc;
    CGraph graph(&doc);
    if (!LoadCsvAsViewed(args.m_strCsv, args.m_nChannels, profile, doc, graph, strError))
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

bool RenderToFile(const SRenderOptions& args, const CProfile& profile, QString& strError) {
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
        if (!LoadCsvAsViewed(args.m_strCsv, args.m_nChannels, profile, doc, graph, strError))
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

int RunRenderCommand(const SRenderOptions& args, const QString& strProfilePath) {
    QString strError;
    const CProfile profile(strProfilePath);
    if (!RenderToFile(args, profile, strError)) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 1;
    }
    return 0;
}
