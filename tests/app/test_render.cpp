// The command-line renderer: the picture follows the layout arithmetic of the graph.
#include "render.h"

#include "csv_reader.h"
#include "graph.h"
#include "kest_doc.h"
#include "profile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QRgb Pixel(const QImage& image, SPoint pt) {
    return image.pixel(pt.x, pt.y) & 0xFFFFFF;
}

TEST(Render, GridAndBackgroundFollowTheLayout) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strCsv = dir.filePath(QStringLiteral("flat.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 20; ++i)
            f.write("0,0\r\n");
    }
    const CProfile profile(dir.filePath(QStringLiteral("none.INI")));
    for (const QSize size : {QSize(600, 400), QSize(1803, 1205)}) {
        SCOPED_TRACE(size.width());
        SRenderArgs args;
        args.m_cx = size.width();
        args.m_cy = size.height();
        args.m_nChannels = 2;
        args.m_strCsv = strCsv;
        QString strError;
        const QImage image = RenderCsv(args, profile, strError);
        ASSERT_FALSE(image.isNull()) << qPrintable(strError);
        ASSERT_EQ(image.size(), size);

        // The same state the renderer drew from, to ask the mappings where things are.
        CkestDoc doc;
        doc.InitLogData(2, 65536, 65536);
        CGraph graph(&doc);
        CCsvReader().Read(strCsv, doc, graph.m_dLatest);
        graph.OnSize(size.width(), size.height());
        graph.UpdateDisplayWindow();
        const SPlotLayout layout = graph.CalcLayout(size.width(), size.height());
        ASSERT_EQ(layout.m_nPenWidth % 2, 1) << "the probes below assume a centred odd pen";
        const int S = graph.m_nSamplesPerDiv * 15;
        const int D = graph.m_nSamplesPerDiv;

        // Grid: the middle horizontal line between two vertical ones, the right edge.
        EXPECT_EQ(Pixel(image, graph.DataToPoint(D / 2, 500, layout)), 0xA0A0A0u);
        SPoint ptRight = graph.DataToPoint(S, 550, layout);
        EXPECT_EQ(Pixel(image, ptRight), 0xA0A0A0u);
        // A vertical division line away from the traces and the cursors.
        EXPECT_EQ(Pixel(image, graph.DataToPoint(7 * D, 650, layout)), 0xA0A0A0u);
        // Inside a grid cell there is only the white background.
        EXPECT_EQ(Pixel(image, graph.DataToPoint(D / 2, 550, layout)), 0xFFFFFFu);
        EXPECT_EQ(Pixel(image, graph.DataToPoint(7 * D + D / 2, 750, layout)), 0xFFFFFFu);
        // Just outside the plot to the right is margin: white.
        ptRight.x += layout.m_nPenWidth + 1;
        EXPECT_EQ(Pixel(image, ptRight), 0xFFFFFFu);
    }
}

TEST(Render, CommandExitCodes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strCsv = dir.filePath(QStringLiteral("a.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1,2\n3,4\n");
    }
    const QString strPng = dir.filePath(QStringLiteral("out.png"));
    const QString strIni = dir.filePath(QStringLiteral("k.INI"));
    struct SCase {
        QStringList args;
        int nExit;
        bool bWritten;
    };
    const SCase cases[] = {
        {{"--render", strPng, "--size", "320x200", strCsv}, 0, true},
        {{"--render", strPng, "--size", "320x200", dir.filePath("missing.csv")}, 1, false},
        {{"--render", strPng, "--size", "320", strCsv}, 2, false},
        {{"--render", dir.filePath("no/dir/out.png"), "--size", "320x200", strCsv}, 1, false},
    };
    for (const SCase& c : cases) {
        QFile::remove(strPng);
        EXPECT_EQ(RunRenderCommand(c.args, strIni), c.nExit) << qPrintable(c.args.join(' '));
        EXPECT_EQ(QFile::exists(strPng), c.bWritten);
    }
    ASSERT_TRUE(QFile::exists(strIni) == false) << "rendering never writes the profile";
    QImage image;
    ASSERT_TRUE(RunRenderCommand(cases[0].args, strIni) == 0 && image.load(strPng));
    EXPECT_EQ(image.size(), QSize(320, 200));
}

} // namespace
