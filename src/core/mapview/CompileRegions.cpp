#include "mapview/CompileRegions.hpp"

#include "conversion/MapPackage.hpp"
#include "geo/MercUtil.hpp"
#include "tiles/TileCache.hpp"
#include "tiles/TileThread.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace orvane::mapview {

namespace fs = std::filesystem;

namespace {

/// Tiles between two reports while the tiles are created.
constexpr std::int64_t kCreateReportEvery = 1024;
constexpr std::chrono::milliseconds kWaitStep{100};

/// The layer whose tiles a region yields: at level 1 the view has only the
/// Google Surface tile.
tiles::MapType TileMapType(const TCompileRegion& region)
{
    return region.level == 1 ? static_cast<tiles::MapType>(tiles::SourceGoogle + tiles::KindSurface)
                             : region.mapType;
}

/// Whether any tile of the region lacks its cache file.
bool AnyTileMissing(const TRPMap& view, const TCompileRegion& region, const RegionTiles& cells, tiles::MapType mt)
{
    const auto& context = view.Context();
    for (std::int64_t i = cells.firstColumn; i <= cells.lastColumn; ++i)
        for (std::int64_t j = cells.firstRow; j <= cells.lastRow; ++j) {
            std::error_code ec;
            const fs::path file = tiles::TileCachePath(*context.catalogue, context.cacheFolder, mt,
                                                       static_cast<std::int32_t>(i), static_cast<std::int32_t>(j),
                                                       region.level);
            if (!fs::exists(file, ec)) return true;
        }
    return false;
}

/// Refuses the list before anything is created: bad levels, too many tiles,
/// and downloads from a source whose servers forbid them.
std::int64_t CheckRegions(const TRPMap& view, std::span<const TCompileRegion> regions)
{
    if (regions.empty()) throw Error(std::string(msg::kCompileListEmpty));
    std::int64_t total = 0;
    for (const TCompileRegion& region : regions) {
        if (region.level < kMinViewLevel || region.level > kMaxViewLevel)
            throw Error(msg::RegionLevelOutOfRange(region.level));
        total += TilesOfRegion(region).Count();
        if (total > kMaxCompileTiles) throw Error(msg::TooManyCompileTiles(kMaxCompileTiles));
    }

    const tiles::TileDownloads* downloads = view.Context().downloads;
    if (downloads == nullptr || !downloads->OnlineMode()) return total;
    const auto& catalogue = *view.Context().catalogue;
    for (const TCompileRegion& region : regions) {
        const tiles::MapType mt = TileMapType(region);
        const std::uint8_t kind = tiles::KindOf(mt);
        if (kind != tiles::KindSurface && kind != tiles::KindMap) continue;  // no tiles at all
        if (tiles::SourceOf(mt) == tiles::SourceCustom) continue;            // never downloaded
        if (tiles::BulkAllowed(catalogue, mt)) continue;
        if (AnyTileMissing(view, region, TilesOfRegion(region), mt))
            throw Error(msg::BulkDownloadRefused(tiles::SourceName(catalogue, mt)));
    }
    return total;
}

/// Gives the view and the queue back as they were, however the compile ends.
class RestoreView {
public:
    explicit RestoreView(TRPMap& view) : m_view(view), m_level(view.Level()) {}
    ~RestoreView()
    {
        if (tiles::TileDownloads* downloads = m_view.Context().downloads) downloads->SetDropImagesAfterDownload(false);
        m_view.SetLevel(m_level);
    }
    RestoreView(const RestoreView&) = delete;
    RestoreView& operator=(const RestoreView&) = delete;

private:
    TRPMap& m_view;
    std::int32_t m_level;
};

} // namespace

RegionTiles TilesOfRegion(const TCompileRegion& region)
{
    RegionTiles cells;
    if (region.level < kMinViewLevel || region.level > kMaxViewLevel) return cells;
    const std::int64_t side = geo::TilesPerSide(region.level);
    // Pixels truncate toward zero on their way to tiles; cells outside the
    // world would get no tile, so the range stops at its edges.
    cells.firstColumn = std::max<std::int64_t>(geo::LonToPixelX(region.level, region.leftLon) / kTileSide, 0);
    cells.lastColumn = std::min<std::int64_t>(geo::LonToPixelX(region.level, region.rightLon) / kTileSide, side - 1);
    cells.firstRow = std::max<std::int64_t>(geo::LatToPixelY(region.level, region.topLat) / kTileSide, 0);
    cells.lastRow = std::min<std::int64_t>(geo::LatToPixelY(region.level, region.bottomLat) / kTileSide, side - 1);
    return cells;
}

CompileResult CompileRegions(TRPMap& view, std::span<const TCompileRegion> regions, const fs::path& outFile,
                             CompileProgress& progress)
{
    const std::int64_t total = CheckRegions(view, regions);
    if (outFile.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(outFile.parent_path(), ec);
        if (ec) throw Error(msg::CannotCreateFolder(outFile.parent_path().string(), ec.message()));
    }

    CompileResult result;
    RestoreView restore(view);
    tiles::TileDownloads* downloads = view.Context().downloads;
    if (downloads != nullptr) downloads->SetDropImagesAfterDownload(true);
    view.ClearTiles();

    const auto cancel = [&] {
        if (downloads != nullptr) downloads->ClearDownloadQueue();
        result.cancelled = true;
        return result;
    };

    // The last entry first, so that the first entry's layer stays on the view.
    std::int64_t created = 0;
    for (auto region = regions.rbegin(); region != regions.rend(); ++region) {
        const RegionTiles cells = TilesOfRegion(*region);
        view.SetLevel(region->level);
        view.SetMapType(region->mapType);
        for (std::int64_t i = cells.firstColumn; i <= cells.lastColumn; ++i)
            for (std::int64_t j = cells.firstRow; j <= cells.lastRow; ++j) {
                view.GetViewTile(static_cast<std::int32_t>(i), static_cast<std::int32_t>(j));
                if (++created % kCreateReportEvery == 0) {
                    progress.TilesCreated(created, total);
                    if (progress.CancelRequested()) return cancel();
                }
            }
    }
    progress.TilesCreated(created, total);

    if (downloads != nullptr) {
        for (;;) {
            progress.TilesToDownload(downloads->QueueLength(), downloads->RunningDownloads());
            if (progress.CancelRequested()) return cancel();
            if (downloads->WaitForIdle(kWaitStep)) break;
        }
        progress.TilesToDownload(0, 0);
    }
    if (progress.CancelRequested()) return cancel();

    const std::size_t createdTiles = view.TileCount();
    for (std::size_t i = 0; i < createdTiles && result.firstFailure.empty(); ++i) {
        const tiles::TRPTile& tile = *view.TileAt(i);
        if (!tile.ErrorText().empty() && !tiles::CacheFileExists(tile)) result.firstFailure = tile.ErrorText();
    }
    view.DropUncachedTiles();
    result.missingTiles = static_cast<std::int64_t>(createdTiles - view.TileCount());
    view.DropDuplicateTiles();

    const TCompileRegion& first = regions.front();
    conversion::PackageHeaderInfo header;
    header.centreLat = (first.topLat + first.bottomLat) / 2;
    header.centreLon = (first.leftLon + first.rightLon) / 2;
    header.startLevel = first.level;
    const auto count = static_cast<std::uint32_t>(view.TileCount());
    conversion::MapPackageWriter writer(outFile, header, count);
    for (std::size_t i = 0; i < view.TileCount(); ++i) {
        const tiles::TRPTile& tile = *view.TileAt(i);
        writer.AddTileFromFile(tile.X, tile.Y, tile.Level, tiles::TileCachePath(tile));
    }
    writer.Finish();

    result.tileCount = count;
    result.qvmFile = writer.InternalFile();
    result.qvoFile = writer.ExternalFile();
    result.message = msg::MapReady(count);
    return result;
}

} // namespace orvane::mapview
