#include "render.h"

#include "csv_reader.h"
#include "graph.h"
#include "kest_doc.h"
#include "painter_canvas.h"
#include "profile.h"
#include "profile_store.h"

#include <QPainter>
#include <QRegularExpression>
#include <cstdio>

namespace {
constexpr int kMaxImageSide = 20000;
constexpr int kInitialSamples = 65536;
} // namespace

bool IsRenderCommand(const QStringList& args) {
    return args.contains(QStringLiteral("--render"));
}

bool ParseRenderArgs(const QStringList& args, SRenderArgs& out, QString& strError) {
    out = SRenderArgs();
    bool bSize = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& strArg = args[i];
        const bool bHasValue = i + 1 < args.size();
        if (strArg == QLatin1String("--render") || strArg == QLatin1String("--size") ||
            strArg == QLatin1String("--channels")) {
            if (!bHasValue) {
                strError = strArg + QStringLiteral(" needs a value");
                return false;
            }
            const QString strValue = args[++i];
            if (strArg == QLatin1String("--render")) {
                if (!out.m_strOut.isEmpty()) {
                    strError = QStringLiteral("--render given twice");
                    return false;
                }
                out.m_strOut = strValue;
            } else if (strArg == QLatin1String("--size")) {
                static const QRegularExpression re(QStringLiteral("^(\\d{1,6})[xX](\\d{1,6})$"));
                const QRegularExpressionMatch m = re.match(strValue);
                const int cx = m.hasMatch() ? m.captured(1).toInt() : 0;
                const int cy = m.hasMatch() ? m.captured(2).toInt() : 0;
                if (cx < 1 || cy < 1 || cx > kMaxImageSide || cy > kMaxImageSide) {
                    strError = QStringLiteral("--size must be WIDTHxHEIGHT, each 1..%1, not '%2'")
                                   .arg(kMaxImageSide)
                                   .arg(strValue);
                    return false;
                }
                out.m_cx = cx;
                out.m_cy = cy;
                bSize = true;
            } else {
                bool bOk = false;
                const int n = strValue.toInt(&bOk);
                if (!bOk || n < 1 || n > 8) {
                    strError = QStringLiteral("--channels must be 1..8, not '%1'").arg(strValue);
                    return false;
                }
                out.m_nChannels = n;
            }
        } else if (strArg.startsWith(QLatin1String("--"))) {
            strError = QStringLiteral("unknown option ") + strArg;
            return false;
        } else if (!out.m_strCsv.isEmpty()) {
            strError = QStringLiteral("more than one CSV file given");
            return false;
        } else {
            out.m_strCsv = strArg;
        }
    }
    if (out.m_strOut.isEmpty() || !bSize || out.m_strCsv.isEmpty()) {
        strError = QStringLiteral(
            "usage: kest --render OUT.png --size WIDTHxHEIGHT [--channels N] FILE.csv");
        return false;
    }
    return true;
}

QImage RenderCsv(const SRenderArgs& args, const CProfile& profile, QString& strError) {
    CkestDoc doc;
    doc.OnNewDocument();
    CGraph graph(&doc);
    LoadChannelCount(profile, doc);
    LoadChannelAttrs(profile, doc);
    LoadHorizSetting(profile, graph.m_nSamplesPerDiv);
    if (args.m_nChannels > 0)
        doc.InitLogData(args.m_nChannels, kInitialSamples, kInitialSamples);
    CCsvReader reader;
    if (reader.Read(args.m_strCsv, doc, graph.m_dLatest) == CCsvReader::EResult::OpenFailed) {
        strError = QStringLiteral("cannot read ") + args.m_strCsv;
        return {};
    }
    QImage image(args.m_cx, args.m_cy, QImage::Format_RGB32);
    image.fill(Qt::white);
    graph.OnSize(args.m_cx, args.m_cy);
    graph.UpdateDisplayWindow();
    QPainter painter(&image);
    CPainterCanvas canvas(&painter, args.m_cx, args.m_cy);
    graph.DrawScreen(canvas);
    return image;
}

int RunRenderCommand(const QStringList& args, const QString& strProfilePath) {
    SRenderArgs renderArgs;
    QString strError;
    if (!ParseRenderArgs(args, renderArgs, strError)) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 2;
    }
    const CProfile profile(strProfilePath);
    const QImage image = RenderCsv(renderArgs, profile, strError);
    if (image.isNull()) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 1;
    }
    if (!image.save(renderArgs.m_strOut, "PNG")) {
        std::fprintf(stderr, "kest: cannot write %s\n", qPrintable(renderArgs.m_strOut));
        return 1;
    }
    return 0;
}
