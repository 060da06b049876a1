// The command-line renderer: the picture follows the layout arithmetic of the graph.
#include "app/render.h"

#include "acquisition/csv_reader.h"
#include "display/graph.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "full_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The exit code of `kest ARGS` for a render command line: 2 when refused, else the run's.
int RunRender(const QStringList& args, const QString& strIni) {
    SCommandLine cmd;
    SUsageError error;
    if (!ParseCommandLine(args, cmd, error))
        return 2;
    EXPECT_EQ(cmd.m_nCommand, ECommand::Render);
    return RunRenderCommand(cmd.m_Render, strIni);
}

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
        SRenderOptions args;
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
        // A file that fails part way (reading address 0 of our own memory is an I/O error):
        // a partial picture is not a success.
        {{"--render", strPng, "--size", "320x200", "/proc/self/mem"}, 1, false},
        {{"--render", strPng, "--size", "320x200", dir.path()}, 1, false},
    };
    for (const SCase& c : cases) {
        QFile::remove(strPng);
        EXPECT_EQ(RunRender(c.args, strIni), c.nExit) << qPrintable(c.args.join(' '));
        EXPECT_EQ(QFile::exists(strPng), c.bWritten);
    }
    ASSERT_TRUE(QFile::exists(strIni) == false) << "rendering never writes the profile";
    QImage image;
    ASSERT_TRUE(RunRender(cases[0].args, strIni) == 0 && image.load(strPng));
    EXPECT_EQ(image.size(), QSize(320, 200));
}

TEST(Render, FormatsByExtension) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strCsv = dir.filePath(QStringLiteral("wave.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 500; ++i)
            f.write(QByteArray::number(i % 100) + "," + QByteArray::number(100 - i % 100) + "\r\n");
    }
    const QString strIni = dir.filePath(QStringLiteral("k.INI"));
    const mode_t nUmask = ::umask(022);
    ::umask(nUmask);
    struct SCase {
        const char* pszOut;
        QStringList extra;
        QByteArray magic;
        qsizetype nMagicAt;
    };
    const SCase cases[] = {
        {"a.emf", {}, " EMF", 40},
        {"b.emf", {"--size", "800x500"}, " EMF", 40},
        {"c.pdf", {}, "%PDF-", 0},
        {"d.pdf", {"--page", "Letter", "--landscape"}, "%PDF-", 0},
        {"e.svg", {"--size", "320x200"}, "<?xml", 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszOut);
        const QString strOut = dir.filePath(QString::fromLatin1(c.pszOut));
        ASSERT_EQ(RunRender(QStringList{"--render", strOut, strCsv} + c.extra, strIni), 0);
        QFile f(strOut);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_EQ(bytes.mid(c.nMagicAt, c.magic.size()), c.magic);
        // A new output has the mode the umask gives a new file.
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(strOut).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666u & ~nUmask);
        // Nothing but the output is left in the folder.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(".kest-"),
                  QStringList());
    }
    // The EMF header's bounds follow the picture size: the grid's right edge is inside it.
    auto bounds = [&](const char* pszName) {
        QFile f(dir.filePath(QString::fromLatin1(pszName)));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray h = f.read(24);
        return QRect(QPoint(qFromLittleEndian<qint32>(h.constData() + 8),
                            qFromLittleEndian<qint32>(h.constData() + 12)),
                     QPoint(qFromLittleEndian<qint32>(h.constData() + 16),
                            qFromLittleEndian<qint32>(h.constData() + 20)));
    };
    EXPECT_GT(bounds("a.emf").right(), 1500);
    EXPECT_LT(bounds("a.emf").right(), 1600);
    EXPECT_LT(bounds("b.emf").right(), 800);
    // The PDF is one page of the chosen paper: pdftoppm shows its proportions.
    for (const auto& [pszPdf, dAspect] :
         {std::pair{"c.pdf", 210.0 / 297.0}, {"d.pdf", 11.0 / 8.5}}) {
        const QString strPrefix = dir.filePath(QStringLiteral("page"));
        ASSERT_EQ(QProcess::execute(QStringLiteral("pdftoppm"),
                                    {"-r", "20", "-singlefile", "-png",
                                     dir.filePath(QString::fromLatin1(pszPdf)), strPrefix}),
                  0);
        const QImage page(strPrefix + QStringLiteral(".png"));
        ASSERT_FALSE(page.isNull());
        EXPECT_NEAR(static_cast<double>(page.width()) / page.height(), dAspect, 0.02) << pszPdf;
    }
}

/// On a full disk no format reports success: nothing new is left, an existing file is kept.
TEST(Render, FullDiskLeavesNothingAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString strCsv = dir.filePath(QStringLiteral("wave.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 300; ++i)
            f.write(QByteArray::number(i % 50) + "," + QByteArray::number(50 - i % 50) + "\r\n");
    }
    const QString strIni = dir.filePath(QStringLiteral("k.INI"));
    const char* const names[] = {"out.png", "out.svg", "out.pdf", "out.emf"};
    for (const char* pszName : names) {
        for (const bool bExisting : {false, true}) {
            SCOPED_TRACE(std::string(pszName) + (bExisting ? ", existing target" : ", new target"));
            CFullTmpfs fs;
            if (!fs.IsMounted())
                GTEST_SKIP() << qPrintable(fs.WhyNot());
            const QString strOut = fs.Path(QString::fromLatin1(pszName));
            const QByteArray old = "the picture of an earlier run";
            if (bExisting) {
                QFile f(strOut);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                ASSERT_EQ(f.write(old), old.size());
            }
            ASSERT_TRUE(fs.Fill());
            QStringList args{"--render", strOut, strCsv};
            if (!strOut.endsWith(".pdf") && !strOut.endsWith(".emf"))
                args << "--size"
                     << "640x400";
            SCommandLine cmd;
            SUsageError usage;
            ASSERT_TRUE(ParseCommandLine(args, cmd, usage)) << qPrintable(usage.m_strText);
            QString strError;
            EXPECT_FALSE(RenderToFile(cmd.m_Render, CProfile(strIni), strError));
            EXPECT_TRUE(strError.startsWith(QStringLiteral("cannot write ") + strOut))
                << qPrintable(strError);
            EXPECT_TRUE(strError.contains(QStringLiteral("space"))) << qPrintable(strError);
            EXPECT_EQ(RunRender(args, strIni), 1);
            EXPECT_EQ(fs.Names(),
                      bExisting ? QStringList{QString::fromLatin1(pszName)} : QStringList());
            if (bExisting) {
                QFile f(strOut);
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                EXPECT_EQ(f.readAll(), old);
            }
        }
    }
}

/// A link planted at the output's name is replaced by the output, never written through, in
/// every format; the file it points to stays as it was.
TEST(Render, PlantedLinkIsReplacedNotFollowed) {
    QTemporaryDir dir;
    const QString strCsv = dir.filePath(QStringLiteral("a.csv"));
    {
        QFile f(strCsv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1,2\n3,4\n");
    }
    const QString strVictim = dir.filePath(QStringLiteral("victim.txt"));
    const QByteArray victim = "not to be overwritten";
    for (const char* pszName : {"l.png", "l.svg", "l.pdf", "l.emf"}) {
        SCOPED_TRACE(pszName);
        {
            QFile f(strVictim);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(victim);
        }
        const QString strOut = dir.filePath(QString::fromLatin1(pszName));
        ASSERT_EQ(::symlink(QFile::encodeName(strVictim).constData(),
                            QFile::encodeName(strOut).constData()),
                  0);
        QStringList args{"--render", strOut, strCsv};
        if (strOut.endsWith(".png") || strOut.endsWith(".svg"))
            args << "--size"
                 << "320x200";
        EXPECT_EQ(RunRender(args, dir.filePath(QStringLiteral("k.INI"))), 0);
        EXPECT_FALSE(QFileInfo(strOut).isSymLink());
        EXPECT_GT(QFileInfo(strOut).size(), 16);
        QFile f(strVictim);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), victim);
    }
}

} // namespace
