#include "app/render.h"

#include "acquisition/csv_reader.h"
#include "display/emf_canvas.h"
#include "display/graph.h"
#include "display/painter_canvas.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/profile_store.h"

#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTemporaryFile>
#include <cstdio>

namespace {

/// A PDF page is drawn at this resolution, so that an A4 page is 4960 x 7016 device units.
constexpr int kPdfDpi = 600;
/// The reference surface an EMF is measured for without a screen: a plain 96 dpi monitor.
constexpr int kEmfRefWidth = 1920;
constexpr int kEmfRefHeight = 1080;
constexpr double kEmfRefDpi = 96.0;

/// Fills doc and graph as the viewer would show FILE.csv; false with strError unless the whole
/// file was read.
bool LoadForRender(const SRenderOptions& args, const CProfile& profile, CkestDoc& doc,
                   CGraph& graph, QString& strError) {
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

bool WriteImage(const QImage& image, const QString& strOut) {
    QSaveFile file(strOut);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

bool WriteSvg(CGraph& graph, const SRenderOptions& args) {
    QSaveFile file(args.m_strOut);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(QSize(args.m_cx, args.m_cy));
    generator.setViewBox(QRect(0, 0, args.m_cx, args.m_cy));
    generator.setTitle(QFileInfo(args.m_strCsv).fileName());
    {
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        CPainterCanvas canvas(&painter, args.m_cx, args.m_cy);
        graph.OnSize(args.m_cx, args.m_cy);
        graph.DrawScreen(canvas);
    }
    return file.commit();
}

bool WritePdf(CGraph& graph, const SRenderOptions& args) {
    // QPrinter writes its file itself: a temporary beside the target, renamed when complete.
    const QFileInfo info(args.m_strOut);
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.kest-XXXXXX.pdf"));
    if (!temp.open())
        return false;
    temp.close();
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(kPdfDpi);
        printer.setPageSize(QPageSize(args.m_nPage));
        printer.setPageOrientation(args.m_bLandscape ? QPageLayout::Landscape
                                                     : QPageLayout::Portrait);
        printer.setDocName(info.fileName());
        printer.setOutputFileName(temp.fileName());
        QPainter painter;
        if (!painter.begin(&printer))
            return false;
        const QRect rcPaper = printer.paperRect(QPrinter::DevicePixel).toAlignedRect();
        CPainterCanvas canvas(&painter, rcPaper.width(), rcPaper.height());
        graph.DrawPrintPage(canvas);
        if (!painter.end())
            return false;
    }
    QFile::remove(args.m_strOut);
    if (!temp.rename(args.m_strOut))
        return false;
    temp.setAutoRemove(false);
    return true;
}

} // namespace

QImage RenderCsv(const SRenderOptions& args, const CProfile& profile, QString& strError) {
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

bool RenderToFile(const SRenderOptions& args, const CProfile& profile, QString& strError) {
    bool bWritten = false;
    if (args.m_nFormat == ERenderFormat::Png) {
        const QImage image = RenderCsv(args, profile, strError);
        if (image.isNull())
            return false;
        bWritten = WriteImage(image, args.m_strOut);
    } else {
        CkestDoc doc;
        CGraph graph(&doc);
        if (!LoadForRender(args, profile, doc, graph, strError))
            return false;
        switch (args.m_nFormat) {
        case ERenderFormat::Svg:
            bWritten = WriteSvg(graph, args);
            break;
        case ERenderFormat::Emf: {
            CEmfCanvas canvas(kEmfRefWidth, kEmfRefHeight, kEmfRefDpi, kEmfRefDpi);
            graph.DrawMetafile(canvas, SSize{args.m_cx, args.m_cy});
            bWritten = canvas.Save(args.m_strOut);
            break;
        }
        case ERenderFormat::Pdf:
            bWritten = WritePdf(graph, args);
            break;
        case ERenderFormat::Png:
            break;
        }
    }
    if (!bWritten)
        strError = QStringLiteral("cannot write ") + args.m_strOut;
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
