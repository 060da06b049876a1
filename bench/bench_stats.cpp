// The statistics over a marked stretch: 8 channels of 150,000 samples each, the figures the
// statistics window shows once per frame while it is open.
#include "acquisition/channel_stats.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kChannels = 8;

std::vector<std::vector<double>> MakeChannels(int64_t nSamples) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<std::vector<double>> channels(kChannels);
    for (int ch = 0; ch < kChannels; ++ch) {
        channels[ch].resize(static_cast<size_t>(nSamples));
        for (int64_t i = 0; i < nSamples; ++i)
            channels[ch][static_cast<size_t>(i)] =
                std::sin(static_cast<double>(i) * 0.001 * (ch + 1)) * 100.0 + noise(rng);
    }
    // A few values too large for a double, as the intake stores them.
    channels[0][static_cast<size_t>(nSamples / 3)] = INFINITY;
    channels[3][static_cast<size_t>(nSamples / 2)] = -INFINITY;
    return channels;
}

void BM_StatsEightChannels(benchmark::State& state) {
    const int64_t nSamples = state.range(0);
    const auto channels = MakeChannels(nSamples);
    for (auto _ : state) {
        for (int ch = 0; ch < kChannels; ++ch) {
            SChannelStats s = ComputeChannelStats(channels[ch].data(), nSamples, 0, 1.5, -2.0);
            benchmark::DoNotOptimize(s);
        }
    }
    state.SetItemsProcessed(state.iterations() * nSamples * kChannels);
}
BENCHMARK(BM_StatsEightChannels)->Arg(1500)->Arg(150000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
