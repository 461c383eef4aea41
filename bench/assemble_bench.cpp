// Assembly benchmark: two synthetic packages of N small tiles each, the
// second half of the first shared with the first half of the second.
//   assemble_bench make DIR [N]   writes DIR/a.qvm + a.qvo and DIR/b.qvm + b.qvo
//   assemble_bench run DIR [N]    the same, then assembles a.qvm and b.qvo into
//                                 DIR/out/merged and prints wall time and memory
// N defaults to 100000.

#include "conversion/AssembleMaps.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using orvane::conversion::MapPackageWriter;

// About the size of a nearly blank JPEG tile.
constexpr std::size_t kTileBytes = 600;

/// Tile number i: consecutive tiles of one level 18 area, 1000 per row.
void WritePackage(const fs::path& outFile, std::uint32_t first, std::uint32_t count)
{
    MapPackageWriter writer(outFile, {55.75, 37.6, 12}, count);
    std::vector<std::uint8_t> data(kTileBytes);
    data[0] = 0xFF;
    data[1] = 0xD8;
    for (std::uint32_t i = first; i < first + count; ++i) {
        for (std::size_t k = 2; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(i * 31 + k);
        writer.AddTile(static_cast<std::int32_t>(158000 + i % 1000), static_cast<std::int32_t>(81000 + i / 1000), 18,
                       data);
    }
    writer.Finish();
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

int Usage()
{
    std::fprintf(stderr, "usage: assemble_bench make|run DIR [TILES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return Usage();
    const std::string mode = argv[1];
    if (mode != "make" && mode != "run") return Usage();
    const fs::path dir = argv[2];
    const long n = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 100000;
    if (n < 2 || n > 10000000) return Usage();
    const auto tiles = static_cast<std::uint32_t>(n);

    try {
        fs::create_directories(dir);
        WritePackage(dir / "a.qvm", 0, tiles);
        WritePackage(dir / "b.qvm", tiles / 2, tiles);
        std::printf("wrote %u + %u tiles of %zu bytes (%u shared) to %s\n", tiles, tiles, kTileBytes, tiles - tiles / 2,
                    dir.c_str());
        if (mode == "make") return 0;

        const double peakBefore = PeakMegabytes();
        const auto start = std::chrono::steady_clock::now();
        const auto r = orvane::conversion::AssembleMaps({dir / "a.qvm", dir / "b.qvo"}, dir / "out" / "merged.qvm");
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

        // The index: one entry per tile read, with its temporary name.
        const double indexMb =
            static_cast<double>(r.totalTiles) *
            static_cast<double>(sizeof(orvane::conversion::TTileInfo) + (dir / "out" / "tmptiles" / "000000").string().size() + 1) /
            (1024.0 * 1024.0);
        std::printf("%s\n", orvane::msg::AssembledMapContains(r.keptTiles, r.totalTiles).c_str());
        std::printf("assembly wall time: %.2f s\n", wall.count());
        std::printf("peak resident memory: %.1f MB (%.1f MB before the assembly); index about %.1f MB\n", PeakMegabytes(),
                    peakBefore, indexMb);
    } catch (const orvane::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
