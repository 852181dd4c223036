// Throughput of the generator and the 24-bit packing, in frames per second.
#include "output/output.h"
#include "synth/synth.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

constexpr uint32_t kRate = 44100;

// The default tone: 440 Hz at 25 percent. The argument is the length in seconds.
void BM_MakeTone(benchmark::State& state) {
    const auto frames = static_cast<int32_t>(state.range(0) * kRate);
    const std::unique_ptr<int32_t[]> samples(new int32_t[static_cast<size_t>(frames)]);
    for (auto _ : state) {
        MakeTone(samples.get(), 440.0f, kRate, frames, 25.0f);
        benchmark::DoNotOptimize(samples.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_MakeTone)->Arg(8)->Arg(600)->Unit(benchmark::kMillisecond);

// The low E string of a bass (B4) with 8 partials, all below half the rate.
void BM_MakeHarmonics(benchmark::State& state) {
    const auto frames = static_cast<int32_t>(state.range(0) * kRate);
    const std::unique_ptr<int32_t[]> samples(new int32_t[static_cast<size_t>(frames)]);
    for (auto _ : state) {
        MakeTone(samples.get(), 41.2034f, kRate, frames, 25.0f, 8);
        benchmark::DoNotOptimize(samples.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_MakeHarmonics)->Arg(8)->Arg(600)->Unit(benchmark::kMillisecond);

void BM_Num24ToChar(benchmark::State& state) {
    const auto frames = static_cast<int32_t>(state.range(0) * kRate);
    const std::unique_ptr<int32_t[]> samples(new int32_t[static_cast<size_t>(frames)]);
    const std::unique_ptr<unsigned char[]> packed(
        new unsigned char[static_cast<size_t>(frames) * 3]);
    MakeTone(samples.get(), 440.0f, kRate, frames, 25.0f);
    for (auto _ : state) {
        NUM24_TO_CHAR(samples.get(), packed.get(), frames);
        benchmark::DoNotOptimize(packed.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_Num24ToChar)->Arg(8)->Arg(600)->Unit(benchmark::kMillisecond);

// Both of the above a piece at a time, as playback and export render a tone.
void BM_PackedFrames(benchmark::State& state) {
    const auto frames = static_cast<int64_t>(state.range(0) * kRate);
    FrameSource source = RenderedPieces(ShapeTone(440.0f, kRate, frames, 25.0f));
    for (auto _ : state) {
        for (int64_t first = 0; first < frames; first += kPieceFrames) {
            const auto count =
                static_cast<int32_t>(std::min<int64_t>(kPieceFrames, frames - first));
            benchmark::DoNotOptimize(PackedFrames(source, first, count));
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_PackedFrames)->Arg(8)->Arg(600)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
