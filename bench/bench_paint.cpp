// One full screen paint (white fill, grid, tags, traces, legend, scroll bar, cursors) into a
// 1600 x 1000 image, 8 channels, store holding more than one window of samples.
#include "display/graph.h"
#include "display/painter_canvas.h"
#include "display/trace_reduce.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QWindow>
#include <benchmark/benchmark.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KEST_BENCH_AVX2 1
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <vector>

namespace {

/// A document with 8 channels of a slow sine plus deterministic noise, scaled so that every
/// window shows about three periods whatever the horizontal setting.
void FillDoc(CkestDoc& doc, int nSamplesPerDiv) {
    doc.InitLogData(8, 65536, 65536);
    const int nSamples = nSamplesPerDiv * 15 + nSamplesPerDiv * 2;
    uint32_t seed = 12345;
    double row[8];
    for (int i = 0; i < nSamples; ++i) {
        for (int ch = 0; ch < 8; ++ch) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<double>(seed >> 8) / (1 << 24) - 0.5;
            row[ch] = 30.0 * std::sin(6.0 * M_PI * i / (nSamplesPerDiv * 15.0) + ch) + 4.0 * noise;
        }
        doc.AddRow(row);
    }
    for (int ch = 0; ch < 8; ++ch) {
        SChannelAttr attr = doc.GetChannelAttr(ch);
        attr.m_crColor = g_crDefaultColor[ch];
        attr.m_nPos = 100 + ch * 100;
        doc.SetChannelAttr(ch, attr);
    }
}

/// The graph at nSamplesPerDiv in a 1600 x 1000 window, showing the newest samples.
void ShowWindowOf(CGraph& graph, int nSamplesPerDiv) {
    graph.m_nSamplesPerDiv = nSamplesPerDiv;
    graph.OnSize(1600, 1000);
    graph.UpdateDisplayWindow();
}

void BM_FullPaint(benchmark::State& state) {
    const int nSamplesPerDiv = static_cast<int>(state.range(0));
    CkestDoc doc;
    FillDoc(doc, nSamplesPerDiv);
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = nSamplesPerDiv;
    graph.OnSize(1600, 1000);
    QImage image(1600, 1000, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 1600, 1000);
        graph.UpdateDisplayWindow();
        graph.DrawScreen(canvas);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["samples/channel"] = graph.DisplayCount();
}
BENCHMARK(BM_FullPaint)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

/// Line n of the simulated device as bench/peers.sh --live runs it (kest_sim --amplitude 45
/// --base 50 --period 2 at 1000 lines/s): sine, square, ramp and full-swing noise in turn.
void SimRow(long long n, uint32_t& seed, double* row) {
    const double t = static_cast<double>(n) / 1000.0;
    for (int c = 0; c < 8; ++c) {
        const double dPeriod = 2.0 * (1.0 + 0.25 * c);
        const double dPhase = std::fmod(t / dPeriod + 0.125 * c, 1.0);
        seed = seed * 1664525u + 1013904223u;
        const double dNoise = static_cast<double>(seed >> 8) / (1 << 24) * 2.0 - 1.0;
        const double v[4] = {std::sin(2.0 * M_PI * dPhase), dPhase < 0.5 ? 1.0 : -1.0,
                             -1.0 + 2.0 * dPhase, dNoise};
        row[c] = 50.0 + 45.0 * v[c % 4];
    }
}

/// The store and channel settings of the simulated device as live_bench sets them, one window
/// and a bit; returns the number of rows added.
long long FillSimDoc(CkestDoc& doc, int nSamplesPerDiv, uint32_t& seed, double* row) {
    doc.InitLogData(8, 65536, 65536);
    long long n = 0;
    for (; n < nSamplesPerDiv * 17; ++n) {
        SimRow(n, seed, row);
        doc.AddRow(row);
    }
    for (int ch = 0; ch < 8; ++ch) {
        SChannelAttr attr = doc.GetChannelAttr(ch);
        attr.m_crColor = g_crDefaultColor[ch];
        attr.m_dVRes = 10.0;
        attr.m_nPos = 0;
        doc.SetChannelAttr(ch, attr);
    }
    return n;
}

/// A whole frame as the view hands it to the window system while logging the simulated device
/// of bench/peers.sh --live (its channel settings as live_bench sets them): 33 new rows (1000
/// lines/s at 30 frames/s), then the paint and the flush of a 1600 x 1000 window's backing store.
/// Second argument 1 (the view's way): painted straight into the backing store with the fonts
/// and labels kept from frame to frame; 0 (the former way): everything laid out again, painted
/// into an image of its own that is then copied into the backing store. On the offscreen platform
/// the flush hands nothing over; run with QT_QPA_PLATFORM=xcb under an X server to include the
/// client side of the hand-over (the X server's own work is not counted here).
void BM_WindowFrame(benchmark::State& state) {
    const int nSamplesPerDiv = static_cast<int>(state.range(0));
    const bool bDirect = state.range(1) != 0;
    CkestDoc doc;
    uint32_t seed = 99;
    double row[8];
    long long n = FillSimDoc(doc, nSamplesPerDiv, seed, row);
    CGraph graph(&doc);
    graph.m_nSamplesPerDiv = nSamplesPerDiv;
    graph.OnSize(1600, 1000);
    QWindow window;
    window.setSurfaceType(QSurface::RasterSurface);
    window.resize(1600, 1000);
    window.show();
    QBackingStore store(&window);
    store.resize(QSize(1600, 1000));
    QImage image(1600, 1000, QImage::Format_RGB32);
    const QRegion all(0, 0, 1600, 1000);
    CTextCache texts;
    for (auto _ : state) {
        for (int i = 0; i < 33; ++i, ++n) {
            SimRow(n, seed, row);
            doc.AddRow(row);
        }
        for (int ch = 0; ch < 8; ++ch)
            graph.m_dLatest[ch] = row[ch];
        graph.UpdateDisplayWindow();
        store.beginPaint(all);
        if (bDirect) {
            QPainter painter(store.paintDevice());
            CPainterCanvas canvas(&painter, 1600, 1000);
            canvas.SetTextCache(&texts);
            graph.DrawScreen(canvas);
            texts.EndFrame();
        } else {
            {
                QPainter painter(&image);
                CPainterCanvas canvas(&painter, 1600, 1000);
                graph.DrawScreen(canvas);
            }
            QPainter painter(store.paintDevice());
            painter.drawImage(0, 0, image);
        }
        store.endPaint();
        store.flush(all);
    }
}
BENCHMARK(BM_WindowFrame)->ArgsProduct({{100, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);

#ifdef KEST_BENCH_AVX2
/// One 32-byte store at the start of each listed 64-byte line.
__attribute__((target("avx2"))) void StoreLines(uint32_t* p, const std::vector<size_t>& lines) {
    const __m256i v = _mm256_set1_epi32(0);
    for (const size_t nWord : lines)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + nWord), v);
}

/// Smallest and largest of the n values at p, four at a time in each of four vector registers.
__attribute__((target("avx2"))) void WindowExtremes(const double* p, int n, double& dMin,
                                                    double& dMax) {
    __m256d lo[4];
    __m256d hi[4];
    for (int k = 0; k < 4; ++k)
        lo[k] = hi[k] = _mm256_set1_pd(p[0]);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        for (int k = 0; k < 4; ++k) {
            const __m256d v = _mm256_loadu_pd(p + i + 4 * k);
            lo[k] = _mm256_min_pd(lo[k], v);
            hi[k] = _mm256_max_pd(hi[k], v);
        }
    }
    alignas(32) double a[4];
    alignas(32) double b[4];
    _mm256_store_pd(a, _mm256_min_pd(_mm256_min_pd(lo[0], lo[1]), _mm256_min_pd(lo[2], lo[3])));
    _mm256_store_pd(b, _mm256_max_pd(_mm256_max_pd(hi[0], hi[1]), _mm256_max_pd(hi[2], hi[3])));
    dMin = std::min({a[0], a[1], a[2], a[3]});
    dMax = std::max({b[0], b[1], b[2], b[3]});
    for (; i < n; ++i) {
        dMin = std::min(dMin, p[i]);
        dMax = std::max(dMax, p[i]);
    }
}

/// n copies of nPixel from p on, eight at a time: the fill a compiler may not vectorise by itself.
__attribute__((target("avx2"))) void FillWords(uint32_t* p, size_t n, uint32_t nPixel) {
    const __m256i v = _mm256_set1_epi32(static_cast<int>(nPixel));
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), v);
    for (; i < n; ++i)
        p[i] = nPixel;
}
#else
// Without the vector instructions the floors are the plain loops' (and no longer floors).
void StoreLines(uint32_t* p, const std::vector<size_t>& lines) {
    for (const size_t nWord : lines)
        p[nWord] = 0;
}

void WindowExtremes(const double* p, int n, double& dMin, double& dMax) {
    dMin = dMax = p[0];
    for (int i = 1; i < n; ++i) {
        dMin = std::min(dMin, p[i]);
        dMax = std::max(dMax, p[i]);
    }
}

void FillWords(uint32_t* p, size_t n, uint32_t nPixel) {
    std::fill_n(p, n, nPixel);
}
#endif

/// What the frame of BM_WindowFrame cannot go below, each part done the cheapest way the memory
/// allows (first argument): 0 the window's white fill as one plain 32-bit fill; 1 as many bytes
/// as the traces' pixels, written as one plain fill (the bandwidth bound: no real trace is one
/// run); 2 one store into each 64-byte cache line that
/// the traces' pixels lie in (found by drawing that frame's traces alone on white), in memory
/// order: the bound for pixels that lie in columns, not rows; 3 the reduction's input, every sample
/// of the window of all 8 channels read once for its smallest and largest value with full-width
/// vector instructions; 4 the copy of the finished window that the X server makes, as one memcpy;
/// 5, to compare with them, the traces as the view draws them (reduction and pixels) for the same
/// frame. The "pixels" and "lines" counters are how many pixels and cache lines the traces cover.
void BM_FrameFloor(benchmark::State& state) {
    const int nPart = static_cast<int>(state.range(0));
    const int nSamplesPerDiv = static_cast<int>(state.range(1));
#ifdef KEST_BENCH_AVX2
    if (!__builtin_cpu_supports("avx2")) {
        state.SkipWithError("the floors need AVX2");
        return;
    }
#endif
    CkestDoc doc;
    uint32_t seed = 99;
    double row[8];
    FillSimDoc(doc, nSamplesPerDiv, seed, row);
    CGraph graph(&doc);
    ShowWindowOf(graph, nSamplesPerDiv);
    const SPlotLayout layout = graph.CalcLayout(1600, 1000);
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.fill(0xFFFFFFFFu);
    {
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 1600, 1000);
        graph.DrawTraces(canvas, layout);
    }
    QImage target(1600, 1000, QImage::Format_RGB32);
    target.fill(0xFFFFFFFFu);
    const size_t nWords = static_cast<size_t>(target.sizeInBytes()) / 4;
    auto* pTarget = reinterpret_cast<uint32_t*>(target.bits());
    const qsizetype nStride = target.bytesPerLine() / 4;
    std::vector<size_t> cacheLines; // word offsets of the touched lines, in memory order
    int64_t nPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* pLine = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (pLine[x] == 0xFFFFFFFFu)
                continue;
            ++nPixels;
            const size_t nWord = (static_cast<size_t>(y * nStride + x) / 16) * 16;
            if (cacheLines.empty() || cacheLines.back() != nWord)
                cacheLines.push_back(nWord);
        }
    }
    const int nWindow = graph.DisplayCount();
    const int64_t nFirst = doc.m_LogData[0].m_nCount - nWindow;
    for (auto _ : state) {
        switch (nPart) {
        case 0:
            FillWords(pTarget, nWords, 0xFFFFFFFFu);
            break;
        case 1:
            FillWords(pTarget, static_cast<size_t>(nPixels), 0xFF000000u);
            break;
        case 2:
            StoreLines(pTarget, cacheLines);
            break;
        case 3:
            for (int ch = 0; ch < 8; ++ch) {
                double dMin = 0;
                double dMax = 0;
                WindowExtremes(doc.m_LogData[ch].m_pData + nFirst, nWindow, dMin, dMax);
                benchmark::DoNotOptimize(dMin);
                benchmark::DoNotOptimize(dMax);
            }
            break;
        case 5: {
            QPainter painter(&target);
            CPainterCanvas canvas(&painter, 1600, 1000);
            graph.DrawTraces(canvas, layout);
            break;
        }
        default:
            std::memcpy(pTarget, image.constBits(), static_cast<size_t>(image.sizeInBytes()));
            break;
        }
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = static_cast<double>(nPixels);
    state.counters["lines"] = static_cast<double>(cacheLines.size());
}
BENCHMARK(BM_FrameFloor)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {100, 10000}})
    ->Unit(benchmark::kMicrosecond);

/// One stage of the paint at a time (0 painter only, 1 white fill, 2 grid, 3 tags, 4 traces,
/// 5 legend, 6 scroll bar, 7 cursors, 8 the finished image copied as the view copies it to its
/// window, here into a second image), to see which part a change moves.
void BM_PaintStage(benchmark::State& state) {
    const int nStage = static_cast<int>(state.range(0));
    const int nSamplesPerDiv = static_cast<int>(state.range(1));
    CkestDoc doc;
    FillDoc(doc, nSamplesPerDiv);
    CGraph graph(&doc);
    ShowWindowOf(graph, nSamplesPerDiv);
    const SPlotLayout layout = graph.CalcLayout(1600, 1000);
    QImage image(1600, 1000, QImage::Format_RGB32);
    QImage window(1600, 1000, QImage::Format_RGB32);
    for (auto _ : state) {
        if (nStage == 8) {
            QPainter painter(&window);
            painter.drawImage(0, 0, image);
            painter.end();
            benchmark::DoNotOptimize(window.constBits());
            continue;
        }
        QPainter painter(&image);
        CPainterCanvas canvas(&painter, 1600, 1000);
        switch (nStage) {
        case 1:
            canvas.FillRect(0, 0, 1600, 1000, 0xFFFFFF);
            break;
        case 2:
            graph.DrawGrid(canvas, layout);
            break;
        case 3:
            graph.DrawMarkers(canvas, layout, false);
            break;
        case 4:
            graph.DrawTraces(canvas, layout);
            break;
        case 5:
            graph.DrawLegend(canvas, layout, false);
            break;
        case 6:
            graph.DrawScrollBar(canvas, layout, false);
            break;
        case 7:
            graph.DrawCursors(canvas, layout, false);
            break;
        default:
            break;
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintStage)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8}, {100, 10000}})
    ->Unit(benchmark::kMicrosecond);

/// The reduction alone: one pass over the window of all 8 channels.
void BM_ReduceTrace(benchmark::State& state) {
    const int nSamplesPerDiv = static_cast<int>(state.range(0));
    CkestDoc doc;
    FillDoc(doc, nSamplesPerDiv);
    const int S = nSamplesPerDiv * 15;
    std::vector<int> out;
    for (auto _ : state) {
        for (int ch = 0; ch < 8; ++ch) {
            out.clear();
            ReduceTrace(doc.m_LogData[ch].m_pData, S + 1, 1.0, 0.0, 1401, S, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(BM_ReduceTrace)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
