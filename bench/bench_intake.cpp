// Line intake speed: field conversion against the C library, whole lines from a ring-like source
// into the store, the log write on its own, and reading a large CSV file for viewing.
#include "acquisition/latest_row.h"
#include "acquisition/csv_reader.h"
#include "acquisition/line_intake.h"
#include "acquisition/line_source.h"
#include "acquisition/log_file.h"
#include "acquisition/log_store.h"
#include "acquisition/parse_csv.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string RandomValue(std::mt19937& rng) {
    char sz[32];
    switch (rng() % 4) {
    case 0:
        std::snprintf(sz, sizeof sz, "%d", static_cast<int>(rng() % 100000) - 50000);
        break;
    case 1:
        std::snprintf(sz, sizeof sz, "%.3f", (static_cast<int>(rng() % 2000001) - 1000000) / 1e3);
        break;
    case 2:
        std::snprintf(sz, sizeof sz, "%.6g", (rng() % 1000000) * 1.37e-4);
        break;
    default:
        std::snprintf(sz, sizeof sz, "%.4e", (rng() % 1000000) * 3.1e7);
        break;
    }
    return sz;
}

std::vector<std::string> RandomLines(int nLines, int nFields) {
    std::mt19937 rng(12345);
    std::vector<std::string> lines;
    for (int i = 0; i < nLines; ++i) {
        std::string s;
        for (int f = 0; f < nFields; ++f) {
            if (f > 0)
                s += ',';
            s += RandomValue(rng);
        }
        lines.push_back(s);
    }
    return lines;
}

const std::vector<std::string>& Fields() {
    static const std::vector<std::string> s_fields = RandomLines(4096, 1);
    return s_fields;
}

void BM_ParseFieldValue(benchmark::State& state) {
    const auto& fields = Fields();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseFieldValue(fields[i].c_str()));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseFieldValue);

void BM_Strtod(benchmark::State& state) {
    const auto& fields = Fields();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strtod(fields[i].c_str(), nullptr));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Strtod);

/// Lines stored back to back with CR ends in one circular byte buffer, copied out the way the
/// serial reader hands them over; every notification finds the same batch waiting.
class CRingSource : public CLineSource {
public:
    CRingSource(const std::vector<std::string>& lines, int nBatch) : m_nBatch(nBatch) {
        for (const std::string& s : lines) {
            m_ring += s;
            m_ring += '\r';
        }
    }
    int GetLineCount() override { return m_nWaiting; }
    int ReadLine(char* dst, int size) override {
        const char* p = m_ring.data() + m_nPos;
        const char* pCr = static_cast<const char*>(std::memchr(p, '\r', m_ring.size() - m_nPos));
        int n = static_cast<int>(pCr - p);
        if (n > size - 1)
            n = size - 1;
        std::memcpy(dst, p, static_cast<size_t>(n));
        dst[n] = '\0';
        m_nPos = static_cast<size_t>(pCr - m_ring.data()) + 1;
        if (m_nPos == m_ring.size())
            m_nPos = 0;
        --m_nWaiting;
        return n;
    }
    void ClearNotified() override {}
    void Notify() { m_nWaiting = m_nBatch; }

private:
    std::string m_ring;
    size_t m_nPos = 0;
    int m_nBatch;
    int m_nWaiting = 0;
};

constexpr int kBatch = 1000;

void RunIntake(benchmark::State& state, CLogFile* pLog) {
    const int nChannels = static_cast<int>(state.range(0));
    CRingSource source(RandomLines(8192, nChannels), kBatch);
    CLogStore store;
    store.InitLogData(nChannels, 65536, 65536);
    CLineIntake intake;
    SLatestRow latest;
    for (auto _ : state) {
        if (store.m_LogData[0].m_nCount > 8'000'000) {
            state.PauseTiming();
            store.ResetLogData();
            state.ResumeTiming();
        }
        source.Notify();
        benchmark::DoNotOptimize(intake.OnCommData(source, store, pLog, false, &latest));
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.SetLabel("items = lines");
}

void BM_Intake(benchmark::State& state) {
    RunIntake(state, nullptr);
}
BENCHMARK(BM_Intake)->Arg(2)->Arg(8);

QString TempLogPath() {
    return QDir::temp().filePath(QStringLiteral("kest_bench_intake_%1.csv").arg(getpid()));
}

void BM_IntakeWithLog(benchmark::State& state) {
    CLogFile log;
    if (!log.Open(TempLogPath())) {
        state.SkipWithError("cannot create the log file");
        return;
    }
    RunIntake(state, &log);
    log.Close();
    QFile::remove(TempLogPath());
}
BENCHMARK(BM_IntakeWithLog)->Arg(2)->Arg(8);

void BM_LogWrite(benchmark::State& state) {
    const auto lines = RandomLines(8192, static_cast<int>(state.range(0)));
    CLogFile log;
    if (!log.Open(TempLogPath())) {
        state.SkipWithError("cannot create the log file");
        return;
    }
    size_t i = 0;
    int64_t nBytes = 0;
    for (auto _ : state) {
        for (int j = 0; j < kBatch; ++j) {
            log.WriteRecord(lines[i].c_str());
            nBytes += static_cast<int64_t>(lines[i].size()) + 2;
            i = (i + 1) & 8191;
        }
        log.Flush();
        if (nBytes > (int64_t{1} << 30)) {
            state.PauseTiming();
            log.Open(TempLogPath()); // keep the disk use bounded
            nBytes = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.SetLabel("items = lines, one flush per 1000");
    log.Close();
    QFile::remove(TempLogPath());
}
BENCHMARK(BM_LogWrite)->Arg(2)->Arg(8);

void BM_CsvRead(benchmark::State& state) {
    const int nChannels = static_cast<int>(state.range(0));
    const int nLines = 4'000'000;
    const QString strPath =
        QDir::temp().filePath(QStringLiteral("kest_bench_view_%1.csv").arg(getpid()));
    {
        const auto lines = RandomLines(8192, nChannels);
        std::string chunk;
        for (const std::string& s : lines)
            chunk += s + "\r\n";
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            state.SkipWithError("cannot create the CSV file");
            return;
        }
        for (int i = 0; i < nLines / 8192; ++i)
            file.write(chunk.data(), static_cast<qint64>(chunk.size()));
    }
    const qint64 nFileLines = (nLines / 8192) * 8192;
    for (auto _ : state) {
        CLogStore store;
        store.InitLogData(nChannels, 65536, 65536);
        SLatestRow latest;
        CCsvReader reader;
        if (reader.Read(strPath, store, latest, [](qint64, qint64) { return true; }) !=
            CCsvReader::EResult::Done)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(latest[0]);
    }
    state.SetItemsProcessed(state.iterations() * nFileLines);
    state.SetLabel("items = lines");
    QFile::remove(strPath);
}
BENCHMARK(BM_CsvRead)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
