// Printing, preview and the remembered printer setup against the real print queue that
// scripts/cups.sh sets up (CUPS with two cups-pdf queues, KEST_PDF the default), and the
// metafile command.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "app/kest_app.h"
#include "app/print_setup_dlg.h"
#include "app/printer_selection.h"
#include "dialogs/string_table.h"
#include "display/print_frame.h"
#include "full_tmpfs.h"
#include "image_match.h"

#include "acquisition/csv_reader.h"
#include "app/render.h"
#include "display/graph.h"
#include "display/painter_canvas.h"
#include "settings/channel_attr.h"
#include "settings/kest_doc.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

#include <QRegularExpression>

#include <climits>
#include <cmath>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

const char kQueue[] = "KEST_PDF";
const char kOtherQueue[] = "KEST_PDF2";
/// The queue whose driver declares 12 pt unprintable margins on every side.
const char kMarginQueue[] = "KEST_PDF_MARGIN";
constexpr double kMarginPt = 12.0;

QString PdfDir() {
    const passwd* pPw = getpwuid(getuid());
    return QStringLiteral("/var/spool/cups-pdf/") +
           QString::fromLocal8Bit(pPw ? pPw->pw_name : "root");
}

/// The PDFs the queue has written so far.
QStringList PdfFiles() {
    return QDir(PdfDir()).entryList({QStringLiteral("*.pdf")}, QDir::Files);
}

/// A PDF the queue writes that was not among before, once it is complete (it ends with the
/// end-of-file marker); waits up to nMs for it.
QString WaitForPdf(const QStringList& before, const QString& strTitle, int nMs = 60000) {
    QString strFound;
    WaitUntil(
        [&] {
            for (const QString& strName : PdfFiles()) {
                // The queue names its files after the job title; other programs may print too.
                if (before.contains(strName) || !strName.startsWith(strTitle))
                    continue;
                QFile f(QDir(PdfDir()).filePath(strName));
                if (f.open(QIODevice::ReadOnly) && f.size() > 16) {
                    f.seek(f.size() - 16);
                    if (f.read(16).contains("%%EOF"))
                        strFound = f.fileName();
                }
            }
            return !strFound.isEmpty();
        },
        nMs);
    return strFound;
}

QImage PdfToImage(const QString& strPdf, int nDpi) {
    const QString strPrefix = strPdf + QStringLiteral(".page");
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QString::number(nDpi), QStringLiteral("-aa"),
                       QStringLiteral("no"), QStringLiteral("-aaVector"), QStringLiteral("no"),
                       QStringLiteral("-singlefile"), QStringLiteral("-png"), strPdf, strPrefix});
    QImage image(strPrefix + QStringLiteral(".png"));
    QFile::remove(strPrefix + QStringLiteral(".png"));
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray Section(const QString& strIni, const QByteArray& name) {
    QFile f(strIni);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    const qsizetype nStart = all.indexOf("[" + name + "]");
    if (nStart < 0)
        return {};
    const qsizetype nEnd = all.indexOf("\r\n[", nStart + 1);
    return all.mid(nStart, nEnd < 0 ? -1 : nEnd - nStart + 2);
}

void WriteProfile(const QString& strIni, const QByteArray& content) {
    QFile f(strIni);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

/// The page size of a PDF's first page in points, as pdfinfo reads it.
QSizeF PdfPageSize(const QString& strPdf) {
    QProcess proc;
    proc.start(QStringLiteral("pdfinfo"), {strPdf});
    proc.waitForFinished(30000);
    const QString strOut = QString::fromLatin1(proc.readAllStandardOutput());
    static const QRegularExpression re(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"));
    const QRegularExpressionMatch m = re.match(strOut);
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

/// The top-left corner of the ink of one colour in an image; (-1, -1) when there is none.
QPoint FirstInk(const QImage& image, QRgb rgb) {
    int nLeft = -1, nTop = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* pRow = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((pRow[x] & 0xFFFFFF) != (rgb & 0xFFFFFF))
                continue;
            if (nTop < 0)
                nTop = y;
            if (nLeft < 0 || x < nLeft)
                nLeft = x;
        }
    }
    return QPoint(nLeft, nTop);
}

/// The shift of printed against render that lays the most pixels of one colour on each other,
/// searched near the shift of their first ink; sets nMatched to that count.
QPoint BestShift(const QImage& render, const QImage& printed, QRgb rgb, int& nMatched) {
    nMatched = -1;
    const QPoint ptA = FirstInk(render, rgb);
    const QPoint ptB = FirstInk(printed, rgb);
    if (ptA.x() < 0 || ptB.x() < 0)
        return QPoint(INT_MIN, INT_MIN);
    const QPoint ptGuess = ptB - ptA;
    QPoint ptBest = ptGuess;
    for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
            const QPoint d = ptGuess + QPoint(dx, dy);
            int n = 0;
            for (int y = 0; y < render.height(); ++y) {
                const int yp = y + d.y();
                if (yp < 0 || yp >= printed.height())
                    continue;
                const QRgb* pA = reinterpret_cast<const QRgb*>(render.constScanLine(y));
                const QRgb* pB = reinterpret_cast<const QRgb*>(printed.constScanLine(yp));
                for (int x = std::max(0, -d.x()); x < render.width() && x + d.x() < printed.width();
                     ++x)
                    n += (pA[x] & 0xFFFFFF) == (rgb & 0xFFFFFF) &&
                         (pB[x + d.x()] & 0xFFFFFF) == (rgb & 0xFFFFFF);
            }
            if (n > nMatched) {
                nMatched = n;
                ptBest = d;
            }
        }
    }
    return ptBest;
}

/// A part of a PDF's first page drawn by pdftoppm without smoothing, in pixels at nDpi.
QImage PdfPart(const QString& strPdf, int nDpi, const QRect& rc) {
    const QString strPrefix = strPdf + QStringLiteral(".part");
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {"-r", QString::number(nDpi), "-x", QString::number(rc.x()), "-y",
                       QString::number(rc.y()), "-W", QString::number(rc.width()), "-H",
                       QString::number(rc.height()), "-aa", "no", "-aaVector", "no", "-singlefile",
                       "-png", strPdf, strPrefix});
    const QImage image =
        QImage(strPrefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    QFile::remove(strPrefix + QStringLiteral(".png"));
    return image;
}

/// How far the graph's box lies from the place the page arithmetic gives it on a page of
/// sizePage device units, measured from the paper's corner: the grid around the box's top-left
/// corner in the PDF (drawn by pdftoppm at the device resolution) laid on the same corner drawn
/// by graph for paper. A landscape page that the queue put on portrait paper (turned by a quarter)
/// is turned back first.
QPoint MeasureBoxOffset(const QString& strPdf, int nDpi, QSize sizePage, CGraph& graph) {
    const SPrintFrame frame = CalcPrintFrame(sizePage.width(), sizePage.height());
    const SPlotLayout layout = graph.CalcLayout(frame.m_cx, frame.m_cy);
    // An inch around the grid's corner: room for a shift of a few margins.
    const int S = nDpi;
    const QRect rc(frame.m_x + layout.m_rcPlot.left - S / 2,
                   frame.m_y + layout.m_rcPlot.top - S / 2, S, S);
    QImage render(rc.size(), QImage::Format_RGB32);
    render.fill(Qt::white);
    {
        QPainter painter(&render);
        painter.translate(frame.m_x - rc.x(), frame.m_y - rc.y());
        CPainterCanvas canvas(&painter, frame.m_cx, frame.m_cy);
        graph.DrawSequence(canvas, layout, true);
    }
    const QRgb grid = qRgb(0xA0, 0xA0, 0xA0);
    const QSizeF sizePt = PdfPageSize(strPdf);
    const bool bTurned =
        (sizePt.width() > sizePt.height()) != (sizePage.width() > sizePage.height());
    int nMatched = 0;
    if (!bTurned)
        return BestShift(render, PdfPart(strPdf, nDpi, rc), grid, nMatched);
    // Turned a quarter either way: the page's top edge on the sheet's left or right.
    const int W = sizePage.width();
    const int H = sizePage.height();
    const QImage left = PdfPart(strPdf, nDpi, QRect(rc.y(), W - rc.right() - 1, S, S))
                            .transformed(QTransform().rotate(90));
    const QImage right = PdfPart(strPdf, nDpi, QRect(H - rc.bottom() - 1, rc.x(), S, S))
                             .transformed(QTransform().rotate(-90));
    int nLeft = 0, nRight = 0;
    const QPoint ptLeft = BestShift(render, left, grid, nLeft);
    const QPoint ptRight = BestShift(render, right, grid, nRight);
    return nLeft >= nRight ? ptLeft : ptRight;
}

/// A view with four channels of full-swing waves, CH2 selected and both cursors placed.
struct SPrintFixture : SViewFixture {
    SPrintFixture() {
        m_Doc.InitLogData(4, 65536, 65536);
        for (int i = 0; i < 1200; ++i) {
            const double row[4] = {50 + 40 * std::sin(i / 40.0), (i / 100) % 2 ? 80.0 : 20.0,
                                   (i % 300) / 3.0, 50 + 30 * std::cos(i / 25.0)};
            m_Doc.AddRow(row);
        }
        m_pView->m_pPrinterSel = &m_Sel;
        m_pView->resize(800, 500);
        m_pView->show();
        QApplication::processEvents();
        m_pView->m_Graph.m_nSelChannel = 1;
        m_pView->m_Graph.m_ptCursor[0] = {400, 650};
        m_pView->m_Graph.m_ptCursor[1] = {1100, 300};
        // The job title is the file name: unique, so the test finds its own output.
        static int s_nJob = 0;
        m_strTitle = QStringLiteral("kesttest%1n%2").arg(getpid()).arg(++s_nJob);
        m_pView->m_strLogPath = m_Dir.filePath(m_strTitle + QStringLiteral(".csv"));
    }
    CPrinterSelection m_Sel;
    QString m_strTitle;
};

class PrintQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QPrinterInfo::defaultPrinterName(), QString::fromLatin1(kQueue))
            << "the print queue is missing: run scripts/cups.sh (test.sh does)";
    }
};

TEST_F(PrintQueue, PrintedPageMatchesTheRender) {
    SPrintFixture fx;
    CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->accept(); });
    const QStringList before = PdfFiles();
    ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT));
    EXPECT_EQ(printDlg.m_nShown, 1);
    const QString strPdf = WaitForPdf(before, fx.m_strTitle);
    ASSERT_FALSE(strPdf.isEmpty()) << "no PDF appeared in " << qPrintable(PdfDir());

    // Where the page arithmetic puts the graph, in the PDF's pixels at nDpi.
    QPrinter* pPrinter = fx.m_Sel.GetPrinter();
    const QRect rcPaper = pPrinter->paperRect(QPrinter::DevicePixel).toAlignedRect();
    const QRect rcPage = pPrinter->pageRect(QPrinter::DevicePixel).toAlignedRect();
    const SPrintFrame frame = CalcPrintFrame(rcPaper.width(), rcPaper.height());
    const int nDpi = 100;
    const QImage pdf = PdfToImage(strPdf, nDpi);
    QFile::remove(strPdf);
    ASSERT_FALSE(pdf.isNull());
    const double dScale = static_cast<double>(nDpi) / pPrinter->resolution();
    const QRect rcBox(qRound((rcPage.left() - rcPaper.left() + frame.m_x) * dScale),
                      qRound((rcPage.top() - rcPaper.top() + frame.m_y) * dScale),
                      qRound(frame.m_cx * dScale), qRound(frame.m_cy * dScale));
    ASSERT_TRUE(pdf.rect().contains(rcBox)) << pdf.width() << "x" << pdf.height();
    const QImage printed = pdf.copy(rcBox);

    // The same graph drawn for paper with the page's layout, scaled down to those pixels (the
    // layout has parts that do not scale with the size, so it must be the page's own).
    QImage render(rcBox.size(), QImage::Format_RGB32);
    render.fill(Qt::white);
    {
        QPainter painter(&render);
        painter.scale(dScale, dScale);
        CPainterCanvas canvas(&painter, frame.m_cx, frame.m_cy);
        CGraph& graph = fx.m_pView->m_Graph;
        graph.DrawSequence(canvas, graph.CalcLayout(frame.m_cx, frame.m_cy), true);
    }
    if (qEnvironmentVariableIsSet("KEST_TEST_KEEP")) {
        pdf.save(QStringLiteral("/tmp/print_page.png"));
        printed.save(QStringLiteral("/tmp/print_box.png"));
        render.save(QStringLiteral("/tmp/print_render.png"));
    }
    for (int ch = 0; ch < 4; ++ch) {
        int nCount = 0;
        const double dMatch =
            NearMatchFraction(render, printed, RgbOf(g_crDefaultColor[ch]), 3, 40, &nCount);
        std::printf("CH%d: %.1f %% of %d trace pixels matched\n", ch + 1, dMatch * 100, nCount);
        EXPECT_GT(nCount, 100);
        EXPECT_GE(dMatch, 0.9) << "CH" << ch + 1;
    }
    int nGrid = 0;
    const double dGrid = NearMatchFraction(render, printed, qRgb(0xA0, 0xA0, 0xA0), 3, 40, &nGrid);
    std::printf("grid: %.1f %% of %d pixels matched\n", dGrid * 100, nGrid);
    EXPECT_GE(dGrid, 0.9);
    // Outside the box the page is blank.
    const QRect rcAbove(0, 0, pdf.width(), rcBox.top() - 4);
    int nInk = 0;
    for (int y = rcAbove.top(); y < rcAbove.bottom(); ++y)
        for (int x = 0; x < pdf.width(); ++x)
            nInk += (pdf.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    EXPECT_EQ(nInk, 0);

    // Printing remembered the selection.
    const QByteArray setup = Section(fx.m_pProfile->GetPath(), "PrinterSetup");
    EXPECT_EQ(setup, QByteArray("[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\n"
                                "Output=cups-pdf:/\r\nOrientation=1\r\nPaperSize=") +
                         QByteArray::number(pPrinter->pageLayout().pageSize().windowsId()) +
                         "\r\n");

    // The screen still hit-tests with its own rectangles: a click places Cur1 on screen terms.
    const SPlotLayout& screen = fx.m_pView->m_Graph.m_Layout;
    const QPoint ptClick((screen.m_rcPlot.left + screen.m_rcPlot.right) / 2,
                         (screen.m_rcPlot.top + screen.m_rcPlot.bottom) / 2);
    QTest::mouseClick(fx.m_pView.get(), Qt::LeftButton, {}, ptClick);
    const SPoint expected = fx.m_pView->m_Graph.PointToData({ptClick.x(), ptClick.y()}, screen);
    EXPECT_EQ(fx.m_pView->m_Graph.m_ptCursor[0], expected);
    EXPECT_NEAR(expected.y, 500, 10);
}

TEST_F(PrintQueue, CancelledPrintStillRemembersAndDirectPrintNeedsNoDialog) {
    SPrintFixture fx;
    {
        CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->reject(); });
        const QStringList before = PdfFiles();
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT));
        EXPECT_EQ(printDlg.m_nShown, 1);
        EXPECT_TRUE(WaitForPdf(before, fx.m_strTitle, 3000).isEmpty())
            << "a cancelled print printed";
        EXPECT_TRUE(Section(fx.m_pProfile->GetPath(), "PrinterSetup").contains("Device=KEST_PDF"));
    }
    CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->reject(); });
    const QStringList before = PdfFiles();
    ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT_DIRECT));
    const QString strPdf = WaitForPdf(before, fx.m_strTitle);
    EXPECT_FALSE(strPdf.isEmpty());
    QFile::remove(strPdf);
    EXPECT_EQ(printDlg.m_nShown, 0);
}

/// The orientation the selection has after the first restore of a run, for a given profile.
TEST_F(PrintQueue, RememberedSetupAppliedOnlyToTheSavedPrinter) {
    struct SCase {
        const char* pszName;
        QByteArray profile;
        QPageLayout::Orientation nExpected;
        QPageSize::PageSizeId nPaper;
    };
    const QByteArray uri = CPrinterSelection::NamesForQueue(kQueue).m_strOutput;
    ASSERT_EQ(uri, QByteArray("cups-pdf:/"));
    const SCase cases[] = {
        {"no profile", "", QPageLayout::Portrait, QPageSize::A4},
        {"default queue, landscape, Letter",
         "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=" + uri +
             "\r\nOrientation=2\r\nPaperSize=1\r\n",
         QPageLayout::Landscape, QPageSize::Letter},
        {"default queue, zero codes leave the printer's own",
         "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=" + uri +
             "\r\nOrientation=0\r\nPaperSize=0\r\n",
         QPageLayout::Portrait, QPageSize::A4},
        {"another printer",
         "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF2\r\nOutput=" + uri +
             "\r\nOrientation=2\r\nPaperSize=1\r\n",
         QPageLayout::Portrait, QPageSize::A4},
        {"names differ in case",
         "[PrinterSetup]\r\nDriver=cups\r\nDevice=KEST_PDF\r\nOutput=" + uri +
             "\r\nOrientation=2\r\n",
         QPageLayout::Portrait, QPageSize::A4},
    };
    const QPageSize::PageSizeId nDefaultPaper =
        QPrinterInfo::printerInfo(kQueue).defaultPageSize().id();
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        QTemporaryDir dir;
        const QString strIni = dir.filePath(QStringLiteral("kest.INI"));
        WriteProfile(strIni, c.profile);
        CProfile profile(strIni);
        CPrinterSelection sel;
        sel.RestorePrinterSetup(profile);
        ASSERT_NE(sel.GetPrinter(), nullptr);
        EXPECT_EQ(sel.GetPrinter()->printerName(), QString::fromLatin1(kQueue));
        EXPECT_EQ(sel.GetPrinter()->pageLayout().orientation(), c.nExpected);
        const QPageSize::PageSizeId nPaper = c.nPaper == QPageSize::A4 ? nDefaultPaper : c.nPaper;
        EXPECT_EQ(sel.GetPrinter()->pageLayout().pageSize().id(), nPaper);
        // Applied once per run: a later restore does not read the profile again.
        sel.GetPrinter()->setPageOrientation(QPageLayout::Portrait);
        sel.RestorePrinterSetup(profile);
        EXPECT_EQ(sel.GetPrinter()->pageLayout().orientation(), QPageLayout::Portrait);
        // Restoring never writes.
        QFile f(strIni);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), c.profile);
    }
}

TEST_F(PrintQueue, PreviewShowsOnePageAndWritesNothing) {
    SPrintFixture fx;
    WriteProfile(fx.m_pProfile->GetPath(),
                 "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=cups-pdf:/\r\n"
                 "Orientation=2\r\nPaperSize=0\r\n");
    int nPages = -1;
    QPageLayout::Orientation nOrientation = QPageLayout::Portrait;
    CDialogAnswerer<QPrintPreviewDialog> preview([&](QPrintPreviewDialog* pDlg) {
        auto* pWidget = pDlg->findChild<QPrintPreviewWidget*>();
        if (pWidget) {
            pWidget->updatePreview();
            if (qEnvironmentVariableIsSet("KEST_TEST_KEEP")) {
                pDlg->resize(900, 800);
                pWidget->fitInView();
                QApplication::processEvents();
                pDlg->grab().save(QStringLiteral("/tmp/kest_preview.png"));
            }
            nPages = pWidget->pageCount();
            nOrientation = pWidget->orientation() == QPageLayout::Landscape ? QPageLayout::Landscape
                                                                            : QPageLayout::Portrait;
        }
        pDlg->reject();
    });
    const QByteArray before = [&] {
        QFile f(fx.m_pProfile->GetPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT_PREVIEW));
    EXPECT_EQ(preview.m_nShown, 1);
    EXPECT_EQ(nPages, 1);
    EXPECT_EQ(nOrientation, QPageLayout::Landscape) << "the remembered orientation applies";
    QFile f(fx.m_pProfile->GetPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(PrintQueue, PreviewPagesSideBySideKeptAcrossRuns) {
    QTemporaryDir dir;
    const QString strExe = dir.filePath(QStringLiteral("kest"));
    const QString strIni = dir.filePath(QStringLiteral("kest.INI"));
    WriteProfile(strIni, "[Settings]\r\nPreviewPages=2\r\n");
    // Run 1 opens with two pages and the user switches to one; run 2 opens with one page and
    // does not switch, so the stored value stays.
    struct SRun {
        QPrintPreviewWidget::ViewMode nOpenedIn;
        std::optional<QPrintPreviewWidget::ViewMode> nSwitchTo;
        QByteArray stored;
    };
    const SRun runs[] = {
        {QPrintPreviewWidget::FacingPagesView, QPrintPreviewWidget::SinglePageView,
         "PreviewPages=1"},
        {QPrintPreviewWidget::SinglePageView, std::nullopt, "PreviewPages=1"},
    };
    for (const SRun& run : runs) {
        {
            CkestApp app(strExe);
            ASSERT_TRUE(app.InitInstance({}));
            ASSERT_EQ(app.m_strIniPath, strIni);
            std::optional<QPrintPreviewWidget::ViewMode> nOpened;
            CDialogAnswerer<QPrintPreviewDialog> preview([&](QPrintPreviewDialog* pDlg) {
                auto* pWidget = pDlg->findChild<QPrintPreviewWidget*>();
                nOpened = pWidget->viewMode();
                if (run.nSwitchTo)
                    pWidget->setViewMode(*run.nSwitchTo);
                pDlg->reject();
            });
            ASSERT_TRUE(app.m_pView->RunCommand(ID_FILE_PRINT_PREVIEW));
            EXPECT_EQ(nOpened, run.nOpenedIn);
        }
        EXPECT_TRUE(Section(strIni, "Settings").contains(run.stored));
    }
}

TEST_F(PrintQueue, SetupDialogChoosesPrinterPaperAndOrientation) {
    QTemporaryDir dir;
    const QString strExe = dir.filePath(QStringLiteral("kest"));
    CkestApp app(strExe);
    ASSERT_TRUE(app.InitInstance({}));
    const QString strIni = app.m_strIniPath;
    EXPECT_TRUE(Section(strIni, "PrinterSetup").isEmpty());

    // Cancel: the default printer with its own defaults is remembered.
    {
        CDialogAnswerer<CPrintSetupDlg> dlg([](CPrintSetupDlg* pDlg) {
            EXPECT_EQ(pDlg->m_pPrinterCombo->currentText(), QString::fromLatin1(kQueue));
            EXPECT_TRUE(pDlg->m_pPortrait->isChecked());
            pDlg->m_pLandscape->setChecked(true); // thrown away by Cancel
            pDlg->reject();
        });
        app.OnFilePrintSetup();
        EXPECT_EQ(dlg.m_nShown, 1);
    }
    QByteArray setup = Section(strIni, "PrinterSetup");
    EXPECT_TRUE(setup.startsWith("[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=cups-"
                                 "pdf:/\r\nOrientation=1\r\n"))
        << setup.constData();

    // OK with the other queue, landscape and Letter.
    {
        CDialogAnswerer<CPrintSetupDlg> dlg([](CPrintSetupDlg* pDlg) {
            pDlg->m_pPrinterCombo->setCurrentText(QString::fromLatin1(kOtherQueue));
            pDlg->m_pLandscape->setChecked(true);
            const int nLetter =
                pDlg->m_pPaperCombo->findData(QPageSize(QPageSize::Letter).windowsId());
            ASSERT_GE(nLetter, 0);
            pDlg->m_pPaperCombo->setCurrentIndex(nLetter);
            pDlg->accept();
        });
        app.OnFilePrintSetup();
        EXPECT_EQ(dlg.m_nShown, 1);
    }
    EXPECT_EQ(Section(strIni, "PrinterSetup"),
              QByteArray("[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF2\r\n"
                         "Output=cups-pdf:/\r\nOrientation=2\r\nPaperSize=1\r\n"));
    QPrinter* pPrinter = app.m_PrinterSel.GetPrinter();
    EXPECT_EQ(pPrinter->printerName(), QString::fromLatin1(kOtherQueue));
    EXPECT_EQ(pPrinter->pageLayout().orientation(), QPageLayout::Landscape);
    // The view prints on that same selection.
    EXPECT_EQ(app.m_pView->m_pPrinterSel, &app.m_PrinterSel);
}

/// The printed box lies where the page arithmetic puts it, from the corner of the printable
/// area: on the full-sheet queue at its place, on the queue with 12 pt margins shifted by them.
TEST_F(PrintQueue, BoxAtItsPlaceOnEveryPaper) {
    struct SCase {
        const char* pszName;
        const char* pszQueue;
        QPageSize::PageSizeId nPaper;
        bool bLandscape;
        bool bCursors;
        double dShiftPt;
    };
    const SCase cases[] = {
        {"A4 portrait, cursors", kQueue, QPageSize::A4, false, true, 0},
        {"A4 portrait, no cursors", kQueue, QPageSize::A4, false, false, 0},
        {"A4 landscape, cursors", kQueue, QPageSize::A4, true, true, 0},
        {"Letter portrait, no cursors", kQueue, QPageSize::Letter, false, false, 0},
        {"Letter landscape, cursors", kQueue, QPageSize::Letter, true, true, 0},
        {"12 pt margins, A4 portrait", kMarginQueue, QPageSize::A4, false, true, kMarginPt},
        {"12 pt margins, Letter landscape", kMarginQueue, QPageSize::Letter, true, false,
         kMarginPt},
    };
    ASSERT_TRUE(QPrinterInfo::availablePrinterNames().contains(QString::fromLatin1(kMarginQueue)))
        << "the 12 pt margin queue is missing: run scripts/cups.sh";
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SPrintFixture fx;
        fx.m_pView->m_Graph.m_bCursor = c.bCursors;
        SPrinterSetup setup;
        setup.m_nOrientation = c.bLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        setup.m_nPaperSize = static_cast<int16_t>(QPageSize(c.nPaper).windowsId());
        fx.m_Sel.SetSelection(QString::fromLatin1(c.pszQueue), setup);
        const QStringList before = PdfFiles();
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT_DIRECT));
        const QString strPdf = WaitForPdf(before, fx.m_strTitle);
        ASSERT_FALSE(strPdf.isEmpty()) << "no PDF appeared in " << qPrintable(PdfDir());
        // The queue prints a landscape page turned on the paper: the sheet is the paper itself.
        const QSizeF sizePt = PdfPageSize(strPdf);
        const QSizeF sizeExpected = QPageSize(c.nPaper).size(QPageSize::Point);
        EXPECT_NEAR(sizePt.width(), sizeExpected.width(), 1);
        EXPECT_NEAR(sizePt.height(), sizeExpected.height(), 1);
        QPrinter* pPrinter = fx.m_Sel.GetPrinter();
        const int nDpi = pPrinter->resolution();
        const QPoint ptOffset = MeasureBoxOffset(
            strPdf, nDpi, pPrinter->paperRect(QPrinter::DevicePixel).toAlignedRect().size(),
            fx.m_pView->m_Graph);
        if (qEnvironmentVariableIsSet("KEST_TEST_KEEP"))
            QFile::copy(strPdf, QStringLiteral("/tmp/kest_print_%1.pdf")
                                    .arg(QString::fromLatin1(c.pszName).replace(' ', '_')));
        QFile::remove(strPdf);
        const int nShift = qRound(c.dShiftPt * nDpi / 72.0);
        std::printf("%s on %s at %d dpi: box off its place by (%d, %d) device units\n", c.pszName,
                    c.pszQueue, nDpi, ptOffset.x(), ptOffset.y());
        ASSERT_NE(ptOffset.x(), INT_MIN) << "no grid found near its place";
        EXPECT_LE(std::abs(ptOffset.x() - nShift), 1);
        EXPECT_LE(std::abs(ptOffset.y() - nShift), 1);
    }
}

/// `kest --render X.pdf` places the box from the paper's corner: a PDF has no unprintable margin.
TEST(RenderPdf, BoxAtItsPlace) {
    QTemporaryDir dir;
    const QString strCsv = dir.filePath(QStringLiteral("wave.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 900; ++i)
            f.write(QByteArray::number(50 + 40 * std::sin(i / 30.0)) + "," +
                    QByteArray::number(i % 100) + "\r\n");
    }
    const QString strIni = dir.filePath(QStringLiteral("k.INI"));
    struct SCase {
        const char* pszName;
        QStringList extra;
    };
    const SCase cases[] = {
        {"A4 portrait", {}},
        {"A4 landscape", {"--landscape"}},
        {"Letter portrait", {"--page", "Letter"}},
        {"Letter landscape", {"--page", "Letter", "--landscape"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        const QString strPdf = dir.filePath(QStringLiteral("out.pdf"));
        SCommandLine cmd;
        SUsageError usage;
        ASSERT_TRUE(ParseCommandLine(
            QStringList{"--render", strPdf, "--channels", "2", strCsv} + c.extra, cmd, usage));
        ASSERT_EQ(RunRenderCommand(cmd.m_Render, strIni), 0);
        // The state the renderer drew from.
        CkestDoc doc;
        doc.OnNewDocument();
        doc.InitLogData(2, 65536, 65536);
        CGraph graph(&doc);
        CCsvReader().Read(strCsv, doc, graph.m_dLatest);
        graph.UpdateDisplayWindow();
        QPageSize::PageSizeId nPage =
            c.extra.contains("Letter") ? QPageSize::Letter : QPageSize::A4;
        QSize sizePage = QPageSize(nPage).sizePixels(600);
        if (c.extra.contains("--landscape"))
            sizePage.transpose();
        const QPoint ptOffset = MeasureBoxOffset(strPdf, 600, sizePage, graph);
        std::printf("--render %s: box off its place by (%d, %d) device units at 600 dpi\n",
                    c.pszName, ptOffset.x(), ptOffset.y());
        ASSERT_NE(ptOffset.x(), INT_MIN) << "no grid found near its place";
        EXPECT_LE(std::abs(ptOffset.x()), 1);
        EXPECT_LE(std::abs(ptOffset.y()), 1);
    }
}

/// The paper of the selection is the paper printed on, with the print dialog accepted, and is
/// what printing remembers.
TEST_F(PrintQueue, PrintDialogKeepsTheChosenPaper) {
    const QByteArray uri = CPrinterSelection::NamesForQueue(kQueue).m_strOutput;
    // Remembered Letter landscape: printed so, and the remembered setup stays as it was.
    {
        SPrintFixture fx;
        const QByteArray profile =
            "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=" + uri +
            "\r\nOrientation=2\r\nPaperSize=1\r\n";
        WriteProfile(fx.m_pProfile->GetPath(), profile);
        CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->accept(); });
        const QStringList before = PdfFiles();
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT));
        EXPECT_EQ(printDlg.m_nShown, 1);
        const QString strPdf = WaitForPdf(before, fx.m_strTitle);
        ASSERT_FALSE(strPdf.isEmpty());
        // The queue puts a landscape page turned on the sheet: Letter paper, and on it the graph
        // where a landscape Letter page has it.
        const QSizeF size = PdfPageSize(strPdf);
        EXPECT_NEAR(size.width(), 612, 1);
        EXPECT_NEAR(size.height(), 792, 1);
        const int nDpi = fx.m_Sel.GetPrinter()->resolution();
        const QPoint ptOffset = MeasureBoxOffset(
            strPdf, nDpi, QPageSize(QPageSize::Letter).sizePixels(nDpi).transposed(),
            fx.m_pView->m_Graph);
        QFile::remove(strPdf);
        ASSERT_NE(ptOffset.x(), INT_MIN) << "no grid where a landscape page has it";
        EXPECT_LE(std::abs(ptOffset.x()) + std::abs(ptOffset.y()), 2) << "printed in landscape";
        QFile f(fx.m_pProfile->GetPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), profile);
    }
    // A3 and A5 chosen in the print setup: printed on them, and remembered.
    for (const QPageSize::PageSizeId nPaper : {QPageSize::A3, QPageSize::A5}) {
        QTemporaryDir dir;
        CkestApp app(dir.filePath(QStringLiteral("kest")));
        ASSERT_TRUE(app.InitInstance({}));
        const int nCode = QPageSize(nPaper).windowsId();
        {
            CDialogAnswerer<CPrintSetupDlg> dlg([nCode](CPrintSetupDlg* pDlg) {
                const int nIndex = pDlg->m_pPaperCombo->findData(nCode);
                ASSERT_GE(nIndex, 0);
                pDlg->m_pPaperCombo->setCurrentIndex(nIndex);
                pDlg->accept();
            });
            app.OnFilePrintSetup();
        }
        app.m_pView->m_strLogPath = dir.filePath(QStringLiteral("kestpaper%1.csv").arg(nCode));
        CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->accept(); });
        const QStringList before = PdfFiles();
        ASSERT_TRUE(app.m_pView->RunCommand(ID_FILE_PRINT));
        const QString strPdf = WaitForPdf(before, QStringLiteral("kestpaper%1").arg(nCode));
        ASSERT_FALSE(strPdf.isEmpty());
        const QSizeF size = PdfPageSize(strPdf);
        QFile::remove(strPdf);
        const QSizeF expected = QPageSize(nPaper).size(QPageSize::Point);
        EXPECT_NEAR(size.width(), expected.width(), 1) << QPageSize(nPaper).name().toStdString();
        EXPECT_NEAR(size.height(), expected.height(), 1);
        EXPECT_TRUE(Section(app.m_strIniPath, "PrinterSetup")
                        .contains("PaperSize=" + QByteArray::number(nCode) + "\r\n"));
    }
}

TEST(Metafile, CommandWritesTheFileOrReportsFailure) {
    struct SCase {
        const char* pszName;
        bool bGoodDir;
        bool bWritten;
    };
    const SCase cases[] = {{"writable folder", true, true}, {"missing folder", false, false}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SPrintFixture fx;
        fx.m_pView->m_strLogPath = fx.Path("run 7.log.csv");
        const QString strOut = c.bGoodDir ? fx.Path("out.emf") : fx.Path("missing/out.emf");
        fx.m_strNextPick = strOut;
        CBoxAnswerer box;
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_METAFILE));
        ASSERT_EQ(fx.m_Requests.size(), 1);
        const SFileRequest& req = fx.m_Requests[0];
        EXPECT_TRUE(req.m_bSave);
        EXPECT_EQ(req.m_strTitle, LoadKestString(IDS_METAFILE_TITLE));
        EXPECT_EQ(req.m_strFilterName, QStringLiteral("Meta file(*.emf)"));
        EXPECT_EQ(req.m_strExtension, QStringLiteral("emf"));
        EXPECT_EQ(req.m_strFileName, QStringLiteral("run 7.log"));
        QFile f(strOut);
        EXPECT_EQ(f.exists(), c.bWritten);
        if (c.bWritten) {
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            ASSERT_GT(bytes.size(), 88);
            EXPECT_EQ(bytes.mid(40, 4), QByteArray(" EMF"));
            EXPECT_TRUE(box.Texts().isEmpty());
        } else {
            EXPECT_EQ(box.Texts(), QStringList{LoadKestString(IDS_ERR_METAFILE)});
            EXPECT_TRUE(QDir(fx.Path("")).entryList({QStringLiteral("*.emf*")}).isEmpty());
        }
    }
}

/// The metafile command on a full disk: the message, no new file, an existing one kept.
TEST(Metafile, FullDiskKeepsTheOldFileAndSaysSo) {
    for (const bool bExisting : {false, true}) {
        SCOPED_TRACE(bExisting ? "existing file" : "new file");
        CFullTmpfs fs;
        if (!fs.IsMounted())
            GTEST_SKIP() << qPrintable(fs.WhyNot());
        SPrintFixture fx;
        const QString strOut = fs.Path(QStringLiteral("graph.emf"));
        const QByteArray old = "an earlier picture";
        if (bExisting) {
            QFile f(strOut);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        ASSERT_TRUE(fs.Fill());
        fx.m_strNextPick = strOut;
        CBoxAnswerer box;
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_METAFILE));
        EXPECT_EQ(box.Texts(), QStringList{LoadKestString(IDS_ERR_METAFILE)});
        EXPECT_EQ(fs.Names(), bExisting ? QStringList{QStringLiteral("graph.emf")} : QStringList());
        if (bExisting) {
            QFile f(strOut);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), old);
        }
    }
}

/// The preview's own print button prints on the selection and remembers it, as 印刷... does.
TEST_F(PrintQueue, PreviewPrintButtonPrintsAndRemembers) {
    SPrintFixture fx;
    const QByteArray uri = CPrinterSelection::NamesForQueue(kQueue).m_strOutput;
    SPrinterSetup letter;
    letter.m_nOrientation = DMORIENT_PORTRAIT;
    letter.m_nPaperSize = static_cast<int16_t>(QPageSize(QPageSize::Letter).windowsId());
    fx.m_Sel.SetSelection(QString::fromLatin1(kQueue), letter);
    CDialogAnswerer<QPrintDialog> printDlg([](QPrintDialog* pDlg) { pDlg->accept(); });
    CDialogAnswerer<QPrintPreviewDialog> preview([](QPrintPreviewDialog* pDlg) {
        for (QAction* pAction : pDlg->findChildren<QAction*>()) {
            if (pAction->text() == QStringLiteral("Print")) {
                pAction->trigger();
                return;
            }
        }
        pDlg->reject();
    });
    const QStringList before = PdfFiles();
    ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT_PREVIEW));
    EXPECT_EQ(printDlg.m_nShown, 1);
    const QString strPdf = WaitForPdf(before, fx.m_strTitle);
    ASSERT_FALSE(strPdf.isEmpty()) << "the preview's print button printed nothing";
    const QSizeF size = PdfPageSize(strPdf);
    QFile::remove(strPdf);
    EXPECT_NEAR(size.width(), 612, 1) << "printed on the selection's Letter";
    EXPECT_NEAR(size.height(), 792, 1);
    // Remembered as a print remembers (the profile had no printer setup before).
    EXPECT_EQ(Section(fx.m_pProfile->GetPath(), "PrinterSetup"),
              "[PrinterSetup]\r\nDriver=CUPS\r\nDevice=KEST_PDF\r\nOutput=" + uri +
                  "\r\nOrientation=1\r\nPaperSize=1\r\n");
}

/// The preview's page setup changes the selection as プリンタの設定 does and, closed with OK, is
/// remembered at once; cancelled, it writes nothing.
TEST_F(PrintQueue, PreviewPageSetupIsRememberedOnOk) {
    for (const bool bOk : {false, true}) {
        SCOPED_TRACE(bOk ? "OK" : "Cancel");
        SPrintFixture fx;
        CDialogAnswerer<QPageSetupDialog> setup([bOk](QPageSetupDialog* pDlg) {
            pDlg->printer()->setPageOrientation(QPageLayout::Landscape);
            bOk ? pDlg->accept() : pDlg->reject();
        });
        CDialogAnswerer<QPrintPreviewDialog> preview([](QPrintPreviewDialog* pDlg) {
            for (QAction* pAction : pDlg->findChildren<QAction*>()) {
                if (pAction->text() == QStringLiteral("Page setup")) {
                    pAction->trigger();
                    break;
                }
            }
            pDlg->reject();
        });
        ASSERT_TRUE(fx.m_pView->RunCommand(ID_FILE_PRINT_PREVIEW));
        EXPECT_EQ(setup.m_nShown, 1);
        EXPECT_EQ(Section(fx.m_pProfile->GetPath(), "PrinterSetup").contains("Device=KEST_PDF"),
                  bOk);
    }
}

} // namespace
