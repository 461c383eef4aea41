// The floor of a conversion: decode the source once and encode as many
// 256 x 256 JPEG tiles as the conversion writes, with no resampling, on all
// cores. Nothing the converter does can be cheaper than this.
//   convert_floor IMAGE.jpg TILES

#include "image/ImageCodecs.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    using namespace orvane::image;
    if (argc != 3) {
        std::fprintf(stderr, "usage: convert_floor IMAGE.jpg TILES\n");
        return 2;
    }
    const RgbImage src = DecodeImageFile(argv[1], ImageType::Jpeg, 2'000'000'000);
    const long tiles = std::atol(argv[2]);
    const int columns = std::max(1, src.Width() / 256);
    const int rows = std::max(1, src.Height() / 256);
    std::atomic<long> next{0};
    std::atomic<long> bytes{0};
    auto work = [&] {
        std::vector<std::uint8_t> tile(256 * 256 * 3);
        for (long i = next++; i < tiles; i = next++) {
            const int tx = static_cast<int>(i % columns);
            const int ty = static_cast<int>((i / columns) % rows);
            for (int y = 0; y < 256; ++y) {
                const int sy = std::min(src.Height() - 1, ty * 256 + y);
                const int sx = std::min(src.Width() - 256, tx * 256);
                std::copy_n(src.Row(sy) + 3 * std::max(0, sx), 256 * 3, tile.data() + y * 256 * 3);
            }
            bytes += static_cast<long>(EncodeJpeg(tile.data(), 256, 256, 30).size());
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t) pool.emplace_back(work);
    for (auto& t : pool) t.join();
    std::printf("%ld tiles, %ld bytes\n", tiles, bytes.load());
    return 0;
}
