// Opening a large 8-channel log for viewing: the whole CSV read into the store, as the view does.
//
// The file is made once and kept: KEST_BENCH_CSV names it (default kest_bench_8ch.csv in the
// temporary directory) and KEST_BENCH_CSV_MB sets its size (default 500). Lines look like the log
// of a device with eight signals: eight values of five to seven characters, CR LF ends, 9 M lines
// for 500 MB. BM_CsvLoad/1 forces the sequential pass; BM_CsvLoad/0 is what the view uses.
// Compare with `wc -l` on the same file for the disk-speed bound. KEST_BENCH_ITERATIONS sets the
// loads per figure (default 3).
#include "acquisition/latest_row.h"
#include "acquisition/csv_reader.h"
#include "acquisition/log_store.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

QString BenchPath() {
    const QByteArray path = qgetenv("KEST_BENCH_CSV");
    return path.isEmpty() ? QDir::tempPath() + QStringLiteral("/kest_bench_8ch.csv")
                          : QString::fromLocal8Bit(path);
}

qint64 BenchBytes() {
    const QByteArray mb = qgetenv("KEST_BENCH_CSV_MB");
    const qint64 nMb = mb.isEmpty() ? 500 : mb.toLongLong();
    return (nMb > 0 ? nMb : 1) << 20;
}

/// Makes the file unless one of at least the wanted size is there already.
bool MakeFile(const QString& strPath, qint64 nBytes) {
    QFile file(strPath);
    if (file.exists() && file.size() >= nBytes)
        return true;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::string block;
    char sz[96];
    unsigned nNoise = 12345;
    for (qint64 nLine = 0, nWritten = 0; nWritten < nBytes; ++nLine) {
        std::string line;
        for (int ch = 0; ch < 8; ++ch) {
            nNoise = nNoise * 1103515245u + 12345u;
            const double d = 5.0 * std::sin(static_cast<double>(nLine) * (ch + 1) * 1e-3) +
                             static_cast<double>((nNoise >> 16) % 1000) * 1e-3;
            std::snprintf(sz, sizeof sz, ch == 0 ? "%.3f" : ",%.3f", d);
            line += sz;
        }
        line += "\r\n";
        block += line;
        nWritten += static_cast<qint64>(line.size());
        if (block.size() > (1u << 20) || nWritten >= nBytes) {
            if (file.write(block.data(), static_cast<qint64>(block.size())) !=
                static_cast<qint64>(block.size()))
                return false;
            block.clear();
        }
    }
    return true;
}

void BM_CsvLoad(benchmark::State& state) {
    const QString strPath = BenchPath();
    const qint64 nBytes = BenchBytes();
    if (!MakeFile(strPath, nBytes)) {
        state.SkipWithError("cannot create the CSV file");
        return;
    }
    qint64 nLines = 0;
    for (auto _ : state) {
        CLogStore store;
        store.InitLogData(8, CLogStore::kInitialSize, CLogStore::kInitialSize);
        SLatestRow latest;
        CCsvReader reader;
        reader.m_bSequential = state.range(0) != 0;
        if (reader.Read(strPath, store, latest, [](qint64, qint64) { return true; }) !=
            CCsvReader::EResult::Done)
            state.SkipWithError("read failed");
        nLines = reader.m_nLines;
        benchmark::DoNotOptimize(latest[0]);
    }
    state.SetBytesProcessed(state.iterations() * QFile(strPath).size());
    state.counters["lines"] = static_cast<double>(nLines);
}

/// What opening the file cannot go below, each part alone on the same file and, where the reader
/// uses both cores, on two threads (first argument): 0 finding every line end once with memchr,
/// as `wc -l` does (one thread, the file mapped); 1 the store's memory written once, 8 doubles
/// per line into fresh pages, which the kernel must fault in and clear first; 2 every field
/// converted with std::from_chars, the fastest exact conversion the standard library has, the
/// values summed instead of stored.
void BM_CsvFloor(benchmark::State& state) {
    const int nPart = static_cast<int>(state.range(0));
    const QString strPath = BenchPath();
    if (!MakeFile(strPath, BenchBytes())) {
        state.SkipWithError("cannot create the CSV file");
        return;
    }
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot open the CSV file");
        return;
    }
    const size_t nSize = static_cast<size_t>(file.size());
    const char* pFile = reinterpret_cast<const char*>(file.map(0, file.size()));
    if (pFile == nullptr) {
        state.SkipWithError("cannot map the CSV file");
        return;
    }
    const auto CountLines = [](const char* p, const char* pEnd) {
        size_t n = 0;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', pEnd - p))) != nullptr) {
            ++n;
            ++p;
        }
        return n;
    };
    const size_t nLines = CountLines(pFile, pFile + nSize);
    // The two halves, each starting after a line end.
    const char* pMid = static_cast<const char*>(std::memchr(pFile + nSize / 2, '\n', nSize / 2));
    pMid = pMid != nullptr ? pMid + 1 : pFile + nSize;
    double dSum = 0;
    for (auto _ : state) {
        switch (nPart) {
        case 0:
            benchmark::DoNotOptimize(CountLines(pFile, pFile + nSize));
            break;
        case 1: {
            const size_t nBytes = nLines * 8 * sizeof(double);
            void* pStore =
                ::mmap(nullptr, nBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (pStore == MAP_FAILED) {
                state.SkipWithError("cannot map the store");
                return;
            }
            auto* pValues = static_cast<double*>(pStore);
            const size_t nHalf = nLines * 8 / 2;
            std::thread other([&] { std::fill(pValues + nHalf, pValues + nLines * 8, 1.0); });
            std::fill(pValues, pValues + nHalf, 1.0);
            other.join();
            benchmark::DoNotOptimize(pValues[nLines]);
            ::munmap(pStore, nBytes);
            break;
        }
        default: {
            const auto Convert = [](const char* p, const char* pEnd) {
                double dTotal = 0;
                while (p < pEnd) {
                    double d = 0;
                    const auto res = std::from_chars(p, pEnd, d);
                    dTotal += d;
                    p = res.ptr;
                    while (p < pEnd && (*p == ',' || *p == '\r' || *p == '\n'))
                        ++p;
                    if (res.ec != std::errc())
                        ++p;
                }
                return dTotal;
            };
            double dOther = 0;
            std::thread other([&] { dOther = Convert(pMid, pFile + nSize); });
            dSum += Convert(pFile, pMid);
            other.join();
            dSum += dOther;
            break;
        }
        }
    }
    benchmark::DoNotOptimize(dSum);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nSize));
    state.counters["lines"] = static_cast<double>(nLines);
}

/// KEST_BENCH_ITERATIONS loads per figure (default 3); 1 when the whole process is timed.
int Iterations() {
    const char* psz = std::getenv("KEST_BENCH_ITERATIONS");
    const int n = psz != nullptr ? std::atoi(psz) : 3;
    return n > 0 ? n : 3;
}

BENCHMARK(BM_CsvLoad)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Iterations());
BENCHMARK(BM_CsvFloor)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Iterations());

} // namespace

BENCHMARK_MAIN();
