// Appending to one channel must stay linear: the time per sample may not rise with the count.
#include "acquisition/log_data.h"
#include "acquisition/log_store.h"

#include <benchmark/benchmark.h>

namespace {

void BM_AppendOneChannel(benchmark::State& state) {
    const int nSamples = static_cast<int>(state.range(0));
    for (auto _ : state) {
        SLogData data;
        data.Init(65536, 65536);
        for (int i = 0; i < nSamples; ++i) {
            if (!data.Add(static_cast<double>(i)))
                state.SkipWithError("append refused");
        }
        benchmark::DoNotOptimize(data.m_pData);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * nSamples);
}
BENCHMARK(BM_AppendOneChannel)
    ->Arg(50'000'000)
    ->Arg(100'000'000)
    ->Arg(200'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_AddRowEightChannels(benchmark::State& state) {
    const int nRows = static_cast<int>(state.range(0));
    double row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (auto _ : state) {
        CLogStore store;
        store.InitLogData(8, 65536, 65536);
        for (int i = 0; i < nRows; ++i) {
            row[0] = i;
            store.AddRow(row);
        }
        benchmark::DoNotOptimize(store.m_LogData[7].m_pData);
    }
    state.SetItemsProcessed(state.iterations() * nRows);
}
BENCHMARK(BM_AddRowEightChannels)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
