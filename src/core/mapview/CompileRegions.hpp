#pragma once

// Compiling the compile list into one package: every tile of every region
// is created once through the view (loading its cache file or queueing its
// download), the downloads are waited for, the tiles whose cache file is
// still missing drop out, and the cache files of the rest are packed in the
// order the tiles were created.
//
//   CompileRegions(view, regions, "out.qvm", progress)
//     -> checks every region and the sources' bulk rule (nothing created yet)
//     -> tiles of the last region first, column by column
//     -> waits while downloads run; Cancel ends here without a package
//     -> DropUncachedTiles, DropDuplicateTiles, package, "Map of N tiles ready."

#include "mapview/PlanFile.hpp"
#include "mapview/TRPMap.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace orvane::mapview {

/// Most tiles the regions of one compile may cover (each tile lives in
/// memory until the package is written, and no package of that many tiles
/// stays below the package size limit).
inline constexpr std::int64_t kMaxCompileTiles = 1'000'000;

/// What a compile tells its caller and how the caller stops it. Every call
/// comes from the thread that runs CompileRegions.
class CompileProgress {
public:
    virtual ~CompileProgress() = default;
    /// Tiles created so far of all the regions cover (before duplicates).
    virtual void TilesCreated(std::int64_t /*done*/, std::int64_t /*total*/) {}
    /// While waiting: downloads queued and running.
    virtual void TilesToDownload(std::size_t /*queued*/, int /*running*/) {}
    /// Asked between steps and while waiting; true stops the compile
    /// before any package file is made.
    virtual bool CancelRequested() { return false; }
};

struct CompileResult {
    bool cancelled = false;
    std::int64_t tileCount = 0;       // tiles in the package
    /// Tiles left out because their cache file is missing (a failed
    /// download, offline, or a custom tile never imported), and the failure
    /// text of the first of them that has one.
    std::int64_t missingTiles = 0;
    std::string firstFailure;
    std::filesystem::path qvmFile;
    std::filesystem::path qvoFile;
    std::string message;              // "Map of N tiles ready."
};

/// Tile columns and rows a region covers at its level, limited to the world
/// (empty when its right lies west of its left or its bottom north of its top).
struct RegionTiles {
    std::int64_t firstColumn = 0;
    std::int64_t lastColumn = -1;
    std::int64_t firstRow = 0;
    std::int64_t lastRow = -1;
    std::int64_t Count() const
    {
        return lastColumn < firstColumn || lastRow < firstRow
                   ? 0
                   : (lastColumn - firstColumn + 1) * (lastRow - firstRow + 1);
    }
};
RegionTiles TilesOfRegion(const TCompileRegion& region);

/// Compiles `regions` (the compile list, first entry first) into the package
/// `outFile` (its extension is replaced by .qvm and .qvo; its folder is
/// created). Throws Error, before any tile is created, for an empty list, a
/// level outside 1 to 18, regions covering more than kMaxCompileTiles tiles,
/// and a source that forbids bulk downloading when tiles of it would be
/// downloaded; a failure while writing throws Error too. Whatever happens,
/// the view gets its level back and the queue stops dropping images; the
/// view keeps the layer of the first entry and the compiled tiles.
CompileResult CompileRegions(TRPMap& view, std::span<const TCompileRegion> regions,
                             const std::filesystem::path& outFile, CompileProgress& progress);

} // namespace orvane::mapview
