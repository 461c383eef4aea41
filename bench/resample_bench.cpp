// Single-thread cost of the Lanczos3 tile resampler over whole levels of a
// synthetic 12000 x 9000 scan: every tile's crop is tested for blackness and
// resampled to 256 x 256, as the conversion does.
//   resample_bench [--benchmark_filter=...]
// Reports the time of one whole level (read the CPU column on a busy machine);
// the counters give the tiles and the CPU ms per tile.

#include "image/Lanczos3.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using orvane::image::RgbImage;

constexpr std::int32_t kWidth = 12000;
constexpr std::int32_t kHeight = 9000;
constexpr std::int32_t kTile = 256;

/// Smooth shading plus noise and sharp lines, so no tile is blank and the
/// filter sees real detail.
const RgbImage& Scan()
{
    static const RgbImage image = [] {
        RgbImage im(kWidth, kHeight);
        std::uint32_t state = 0x9E3779B9u;
        for (std::int32_t y = 0; y < kHeight; ++y) {
            std::uint8_t* p = im.Row(y);
            for (std::int32_t x = 0; x < kWidth; ++x) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                const bool line = x % 97 < 2 || y % 89 < 2;
                p[3 * x] = line ? 20 : static_cast<std::uint8_t>((x / 40 + (state & 31)) & 0xFF);
                p[3 * x + 1] = line ? 20 : static_cast<std::uint8_t>((y / 35 + ((state >> 8) & 31)) & 0xFF);
                p[3 * x + 2] = line ? 20 : static_cast<std::uint8_t>(((x + y) / 60 + ((state >> 16) & 31)) & 0xFF);
            }
        }
        return im;
    }();
    return image;
}

/// CPU time of this thread, so that a busy machine does not inflate the figures.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

/// One level: crops of `crop` source pixels a side, laid from `start` (a
/// border tile overhangs the image like the real grid) until past the image.
void Level(benchmark::State& state)
{
    const auto crop = static_cast<std::int32_t>(state.range(0));
    const auto start = static_cast<std::int32_t>(state.range(1));
    const RgbImage& src = Scan();
    orvane::image::ResampleScratch scratch;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kTile) * kTile * 3);
    std::int64_t tiles = 0;
    double seconds = 0;
    for (auto _ : state) {
        const double begin = ThreadSeconds();
        tiles = 0;
        for (std::int32_t y = start; y < kHeight; y += crop)
            for (std::int32_t x = start; x < kWidth; x += crop) {
                if (orvane::image::CropIsBlack(src, x, y, crop, crop)) continue;
                orvane::image::ResampleCropLanczos3(src, x, y, crop, crop, kTile, kTile, out.data(), scratch);
                benchmark::DoNotOptimize(out.data());
                ++tiles;
            }
        benchmark::ClobberMemory();
        seconds += ThreadSeconds() - begin;
    }
    state.counters["tiles"] = static_cast<double>(tiles);
    state.counters["f"] = static_cast<double>(crop) / kTile;
    state.counters["ms_per_tile"] = seconds * 1e3 / static_cast<double>(state.iterations()) / static_cast<double>(tiles);
}

/// The blank test alone over a level's crops of an all-black scan: the
/// worst case, every byte is read.
void BlankTest(benchmark::State& state)
{
    const auto crop = static_cast<std::int32_t>(state.range(0));
    static const RgbImage src = [] {
        RgbImage im(kWidth, kHeight);
        std::memset(im.Data(), 0, im.SizeBytes());
        return im;
    }();
    for (auto _ : state) {
        int black = 0;
        for (std::int32_t y = -100; y < kHeight; y += crop)
            for (std::int32_t x = -100; x < kWidth; x += crop) black += orvane::image::CropIsBlack(src, x, y, crop, crop);
        benchmark::DoNotOptimize(black);
    }
}

} // namespace

// Base level (f = 1.289, about a thousand tiles), the coarsest of four levels
// (f = 10.3) and of six (f = 41.2).
BENCHMARK(Level)->Name("Level/f1.29")->Args({330, -97})->Unit(benchmark::kMillisecond);
BENCHMARK(Level)->Name("Level/f10.3")->Args({2637, -1000})->Unit(benchmark::kMillisecond);
BENCHMARK(Level)->Name("Level/f41.2")->Args({10548, -3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BlankTest)->Name("CropIsBlack/black/f1.29")->Arg(330)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
