#include "mapview/CompileRegions.hpp"

#include "conversion/MapPackage.hpp"
#include "geo/MercUtil.hpp"
#include "image/ImageCodecs.hpp"
#include "mapview/RegionSize.hpp"
#include "support/CaseName.hpp"
#include "support/HttpTestServer.hpp"
#include "support/TempDir.hpp"
#include "tiles/TileCache.hpp"
#include "tiles/TileFixtures.hpp"
#include "tiles/TileThread.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace orvane::mapview {
namespace {

namespace fs = std::filesystem;
using orvane::test::CannedResponse;
using orvane::test::HttpTestServer;
using orvane::test::ReadFile;
using orvane::test::RecordedRequest;
using orvane::test::TempDir;
using orvane::test::WriteFile;

constexpr tiles::MapType kMapnik = 21;
constexpr tiles::MapType kTransport = 22;
constexpr tiles::MapType kStrict = 26;   // Bulk=0
constexpr tiles::MapType kCustom1 = 9;

/// The bytes the server sends for one tile: a 2 x 2 PNG that tells the
/// layer and the cell apart.
std::string TileBody(const std::string& layer, std::int32_t x, std::int32_t y)
{
    image::RgbImage img(2, 2);
    for (std::int32_t r = 0; r < 2; ++r) {
        std::uint8_t* p = img.Row(r);
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = static_cast<std::uint8_t>(layer.size() + layer[0]);
        p[3] = static_cast<std::uint8_t>(x >> 8);
        p[4] = static_cast<std::uint8_t>(y >> 8);
        p[5] = 7;
    }
    const auto bytes = image::EncodePng(img);
    return std::string(bytes.begin(), bytes.end());
}

/// A tile server for "/<layer>/<z>/<x>/<y>.png", answering 404 for the
/// paths in `missing`, optionally holding every answer until opened.
struct TileServer {
    HttpTestServer server;
    std::set<std::string> missing;
    std::mutex mutex;
    std::condition_variable opened;
    bool gated = false;
    int waiting = 0;

    TileServer()
    {
        server.SetFallback([this](const RecordedRequest& r) {
            {
                std::unique_lock lock(mutex);
                ++waiting;
                opened.notify_all();
                opened.wait(lock, [this] { return !gated; });
                --waiting;
                if (missing.count(r.path)) return CannedResponse{404, "no such tile"};
            }
            char layer[16] = {};
            int z = 0, x = 0, y = 0;
            if (std::sscanf(r.path.c_str(), "/%15[a-z]/%d/%d/%d.png", layer, &z, &x, &y) != 4)
                return CannedResponse{400, "bad path"};
            return CannedResponse{200, TileBody(layer, x, y), {}, "image/png"};
        });
    }
    ~TileServer() { Open(); }

    void Open()
    {
        std::lock_guard lock(mutex);
        gated = false;
        opened.notify_all();
    }
    void WaitForRequest()
    {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return waiting > 0; });
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }
};

tiles::TMapPathNamesArray LocalCatalogue(const std::string& host)
{
    return tiles::ParseMapsIni("[Local Mapnik]\nMT=21\nCachePath=OS\\SUR\\\nURL=" + host +
                               "/osm/\n[Local Transport]\nMT=22\nCachePath=OS\\MAP\\\nURL=" + host +
                               "/tah/\n[Local Strict]\nMT=26\nCachePath=GT\\\nURL=" + host +
                               "/gur/\nName=Local Strict\nBulk=0\n[Custom 1]\nMT=9\nCachePath=MP\\SUR\\\n");
}

/// The region whose corners are the centres of tiles (c0, r0) and (c1, r1).
TCompileRegion RegionOfCells(std::int32_t c0, std::int32_t r0, std::int32_t c1, std::int32_t r1, std::int32_t level,
                             tiles::MapType mt)
{
    TCompileRegion r;
    r.topLat = geo::PixelYToLat(r0 * 256 + 128, level);
    r.leftLon = geo::PixelXToLon(c0 * 256 + 128, level);
    r.bottomLat = geo::PixelYToLat(r1 * 256 + 128, level);
    r.rightLon = geo::PixelXToLon(c1 * 256 + 128, level);
    r.level = level;
    r.mapType = mt;
    return r;
}

const TCompileRegion kExample{55.80, 37.50, 55.70, 37.70, 13, kMapnik, "13/9:OpenStreetMap Mapnik"};

class RecordingProgress final : public CompileProgress {
public:
    std::int64_t created = 0;
    std::int64_t total = 0;
    std::size_t mostWaiting = 0;
    std::function<bool(std::size_t)> cancelWhen;   // given the tiles waiting

    void TilesCreated(std::int64_t done, std::int64_t all) override
    {
        created = done;
        total = all;
    }
    void TilesToDownload(std::size_t queued, int running) override
    {
        m_waiting = queued + static_cast<std::size_t>(running);
        mostWaiting = std::max(mostWaiting, m_waiting);
    }
    bool CancelRequested() override { return cancelWhen && cancelWhen(m_waiting); }

private:
    std::size_t m_waiting = 0;
};

/// One compile set-up: a server, a cache, a queue and a view.
struct Compiler {
    TempDir dir;
    TileServer tiles;
    tiles::TileDownloads downloads;
    TRPMap view{tiles::test::Context(dir / "Cache", &downloads, LocalCatalogue(tiles.Host()))};
    RecordingProgress progress;

    CompileResult Run(const std::vector<TCompileRegion>& regions, const std::string& name = "out/map.qvm")
    {
        return CompileRegions(view, regions, dir / name, progress);
    }
    fs::path CachePath(tiles::MapType mt, std::int32_t x, std::int32_t y, std::int32_t level) const
    {
        return tiles::TileCachePath(*view.Context().catalogue, view.Context().cacheFolder, mt, x, y, level);
    }
};

struct PackedTile {
    std::int32_t x, y, level;
    std::string data;
    bool operator==(const PackedTile&) const = default;
};

std::vector<PackedTile> ReadPackage(const fs::path& qvm)
{
    const auto reader = conversion::MapPackageReader(qvm, conversion::PackageLayout::Internal);
    std::vector<PackedTile> out;
    for (std::size_t i = 0; i < reader.Tiles().size(); ++i) {
        const auto& t = reader.Tiles()[i];
        const auto data = reader.ReadTileData(i);
        out.push_back({t.x, t.y, t.level, std::string(data.begin(), data.end())});
    }
    return out;
}

// ---- compiling against the loopback server ------------------------------------------------

TEST(CompileRegions, ExampleRegionDownloadsCachesAndPacksItsNineTiles)
{
    Compiler c;
    c.view.SetLevel(7);
    const CompileResult r = c.Run({kExample});

    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.tileCount, 9);
    EXPECT_EQ(r.missingTiles, 0);
    EXPECT_EQ(r.message, "Map of 9 tiles ready.");
    EXPECT_EQ(r.qvmFile, c.dir / "out/map.qvm");
    EXPECT_EQ(c.tiles.server.RequestCount(), 9u);
    EXPECT_EQ(c.progress.created, 9);
    EXPECT_EQ(c.progress.total, 9);

    // Column by column from the top left, each with the bytes served.
    std::vector<PackedTile> expected;
    for (std::int32_t x = 2474; x <= 2476; ++x)
        for (std::int32_t y = 1279; y <= 1281; ++y) {
            expected.push_back({x, y, 13, TileBody("osm", x, y)});
            EXPECT_EQ(ReadFile(c.CachePath(kMapnik, x, y, 13)), TileBody("osm", x, y));
        }
    EXPECT_EQ(ReadPackage(r.qvmFile), expected);
    const auto header = conversion::MapPackageReader(r.qvmFile, conversion::PackageLayout::Internal).Header();
    EXPECT_EQ(header.latDegrees, 55);
    EXPECT_EQ(header.latMinutes, 45);
    EXPECT_EQ(header.lonDegrees, 37);
    EXPECT_EQ(header.lonMinutes, 36);
    EXPECT_EQ(header.startLevel, 13);
    EXPECT_EQ(conversion::MapPackageReader(r.qvoFile, conversion::PackageLayout::External).Tiles().size(), 9u);

    // The view is given back: its level, the first entry's layer, the
    // compiled tiles, and images no longer dropped.
    EXPECT_EQ(c.view.Level(), 7);
    EXPECT_EQ(c.view.GetMapType(), kMapnik);
    EXPECT_EQ(c.view.TileCount(), 9u);
    EXPECT_FALSE(c.downloads.DropImagesAfterDownload());
    for (std::size_t i = 0; i < c.view.TileCount(); ++i) EXPECT_EQ(c.view.TileAt(i)->Graphic(), nullptr);
}

TEST(CompileRegions, OverlappingRegionsGiveEachSharedTileOnceAndTheLastEntryWins)
{
    Compiler c;
    const TCompileRegion a = RegionOfCells(2474, 1279, 2476, 1281, 13, kMapnik);
    const TCompileRegion b = RegionOfCells(2475, 1280, 2477, 1282, 13, kMapnik);
    const TCompileRegion sameCellsOtherLayer = RegionOfCells(2474, 1279, 2476, 1281, 13, kTransport);
    const CompileResult r = c.Run({a, b, sameCellsOtherLayer});

    // Created last entry first: the other layer's 9, b's 9, a's 5 not in b.
    EXPECT_EQ(c.tiles.server.RequestCount(), 23u);
    EXPECT_EQ(c.progress.total, 27);
    ASSERT_EQ(r.tileCount, 14);
    EXPECT_EQ(r.message, "Map of 14 tiles ready.");
    const auto packed = ReadPackage(r.qvmFile);
    std::set<std::tuple<int, int, int>> cells;
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const auto& t = packed[i];
        EXPECT_TRUE(cells.insert({t.x, t.y, t.level}).second) << t.x << "," << t.y;
        EXPECT_EQ(t.data, TileBody(i < 9 ? "tah" : "osm", t.x, t.y)) << i;
    }
    EXPECT_EQ(c.view.GetMapType(), kMapnik);
}

TEST(CompileRegions, CustomRegionWithoutImportedTilesGivesAnEmptyPackage)
{
    Compiler c;
    const CompileResult r = c.Run({RegionOfCells(10, 20, 12, 22, 6, kCustom1)});
    EXPECT_EQ(r.tileCount, 0);
    EXPECT_EQ(r.missingTiles, 9);
    EXPECT_EQ(r.message, "Map of 0 tiles ready.");
    EXPECT_EQ(c.tiles.server.RequestCount(), 0u);
    EXPECT_TRUE(ReadPackage(r.qvmFile).empty());
    EXPECT_TRUE(fs::exists(r.qvoFile));
    EXPECT_FALSE(fs::exists(c.dir / "out/map.qvp"));
}

TEST(CompileRegions, PlanSavedAndLoadedGivesTheSameCaptionsAndPackage)
{
    Compiler c;
    std::vector<TCompileRegion> regions;
    for (const auto& [region, layer] : {std::pair{RegionOfCells(2474, 1279, 2476, 1281, 13, kMapnik), kMapnik},
                                        std::pair{RegionOfCells(600, 300, 603, 301, 11, kTransport), kTransport},
                                        std::pair{RegionOfCells(1, 1, 2, 2, 3, kMapnik), kMapnik}}) {
        const RegionEdges edges{region.topLat, region.leftLon, region.bottomLat, region.rightLon};
        regions.push_back(MakeCompileRegion(edges, region.level, layer, LayerName(layer)));
    }
    const fs::path plan = SavePlan(c.dir / "moscow", regions);
    std::vector<TCompileRegion> loaded;
    LoadPlan(plan, loaded);
    ASSERT_EQ(loaded.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(loaded[i].caption, regions[i].caption);
    EXPECT_EQ(loaded[0].caption, "13/9:OpenStreetMap Mapnik");

    const CompileResult first = c.Run(regions, "first.qvm");
    const std::size_t requests = c.tiles.server.RequestCount();
    const CompileResult second = c.Run(loaded, "second.qvm");
    EXPECT_EQ(c.tiles.server.RequestCount(), requests);   // everything came from the cache
    EXPECT_EQ(first.tileCount, 21);
    EXPECT_EQ(ReadFile(first.qvmFile), ReadFile(second.qvmFile));
    EXPECT_EQ(ReadFile(first.qvoFile), ReadFile(second.qvoFile));
}

TEST(CompileRegions, SourceWithoutBulkIsRefusedUnlessNothingIsDownloaded)
{
    Compiler c;
    const TCompileRegion strict = RegionOfCells(40, 50, 42, 52, 8, kStrict);
    c.view.SetLevel(4);
    c.view.GetViewTile(1, 1);
    try {
        c.Run({kExample, strict});
        FAIL() << "no refusal";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), msg::BulkDownloadRefused("Local Strict"));
    }
    EXPECT_EQ(c.tiles.server.RequestCount(), 0u);
    EXPECT_FALSE(fs::exists(c.dir / "out/map.qvm"));
    EXPECT_EQ(c.view.TileCount(), 1u);
    EXPECT_EQ(c.view.Level(), 4);

    // Offline, what the cache holds is packed.
    WriteFile(c.CachePath(kStrict, 40, 50, 8), "cached 1");
    WriteFile(c.CachePath(kStrict, 42, 52, 8), "cached 2");
    c.downloads.SetOnlineMode(false);
    CompileResult r = c.Run({strict});
    EXPECT_EQ(r.tileCount, 2);
    EXPECT_EQ(r.missingTiles, 7);
    EXPECT_EQ(ReadPackage(r.qvmFile), (std::vector<PackedTile>{{40, 50, 8, "cached 1"}, {42, 52, 8, "cached 2"}}));

    // Online with the whole region cached nothing needs downloading.
    c.downloads.SetOnlineMode(true);
    for (std::int32_t x = 40; x <= 42; ++x)
        for (std::int32_t y = 50; y <= 52; ++y)
            if (!fs::exists(c.CachePath(kStrict, x, y, 8))) WriteFile(c.CachePath(kStrict, x, y, 8), "later");
    r = c.Run({strict});
    EXPECT_EQ(r.tileCount, 9);
    EXPECT_EQ(c.tiles.server.RequestCount(), 0u);
}

TEST(CompileRegions, FailedDownloadsAreLeftOutWithTheirText)
{
    Compiler c;
    c.tiles.missing.insert("/osm/12/2475/1280.png");
    const CompileResult r = c.Run({kExample});
    EXPECT_EQ(r.tileCount, 8);
    EXPECT_EQ(r.missingTiles, 1);
    EXPECT_EQ(r.firstFailure, "HTTP/1.1 404 Not Found");
    for (const auto& t : ReadPackage(r.qvmFile)) EXPECT_FALSE(t.x == 2475 && t.y == 1280);
}

TEST(CompileRegions, CancelWhileWaitingWritesNoPackageAndRestoresTheView)
{
    Compiler c;
    c.tiles.gated = true;
    c.view.SetLevel(3);
    c.progress.cancelWhen = [&](std::size_t waiting) {
        if (waiting == 0) return false;
        c.tiles.WaitForRequest();
        return true;
    };
    const CompileResult r = c.Run({kExample});
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(c.downloads.QueueLength(), 0u);
    EXPECT_FALSE(fs::exists(c.dir / "out/map.qvm"));
    EXPECT_FALSE(fs::exists(c.dir / "out/map.qvo"));
    EXPECT_EQ(c.view.Level(), 3);
    EXPECT_FALSE(c.downloads.DropImagesAfterDownload());

    c.tiles.Open();
    c.downloads.WaitForIdle();
    EXPECT_EQ(c.tiles.server.RequestCount(), 5u);   // only the ones already running
}

// ---- refused before anything is created ------------------------------------------------------

struct RefusalCase {
    const char* name;
    std::vector<TCompileRegion> regions;
    std::string message;
};

const RefusalCase kRefusalCases[] = {
    {"EmptyList", {}, std::string(msg::kCompileListEmpty)},
    {"LevelZero", {{55.8, 37.5, 55.7, 37.7, 0, kMapnik, ""}}, msg::RegionLevelOutOfRange(0)},
    {"Level19", {kExample, {55.8, 37.5, 55.7, 37.7, 19, kMapnik, ""}}, msg::RegionLevelOutOfRange(19)},
    {"WholeWorldAtLevel18", {{85, -180, -85, 180, 18, kCustom1, ""}}, msg::TooManyCompileTiles(kMaxCompileTiles)},
    {"ManyRegionsTogether",
     std::vector<TCompileRegion>(40, TCompileRegion{60, 0, 50, 20, 15, kCustom1, ""}),
     msg::TooManyCompileTiles(kMaxCompileTiles)},
};

class CompileRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CompileRefusalTest, NothingIsCreatedOrWritten)
{
    const RefusalCase& rc = GetParam();
    Compiler c;
    c.view.SetLevel(4);
    c.view.SetMapType(kCustom1);
    c.view.GetViewTile(1, 1);
    try {
        c.Run(rc.regions);
        FAIL() << "no refusal";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), rc.message);
    }
    EXPECT_EQ(c.view.TileCount(), 1u);
    EXPECT_EQ(c.view.Level(), 4);
    EXPECT_FALSE(fs::exists(c.dir / "out"));
    EXPECT_EQ(c.tiles.server.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lists, CompileRefusalTest, ::testing::ValuesIn(kRefusalCases), orvane::test::CaseName{});

TEST(TilesOfRegion, StopsAtTheWorldsEdges)
{
    const RegionTiles example = TilesOfRegion(kExample);
    EXPECT_EQ(example.firstColumn, 2474);
    EXPECT_EQ(example.lastColumn, 2476);
    EXPECT_EQ(example.firstRow, 1279);
    EXPECT_EQ(example.lastRow, 1281);
    EXPECT_EQ(example.Count(), 9);

    const RegionTiles beyond = TilesOfRegion({89.9, -200, -89.9, 200, 3, kMapnik, ""});
    EXPECT_EQ(beyond.firstColumn, 0);
    EXPECT_EQ(beyond.lastColumn, 3);
    EXPECT_EQ(beyond.firstRow, 0);
    EXPECT_EQ(beyond.lastRow, 3);
    // Right west of left, bottom north of top: nothing.
    EXPECT_EQ(TilesOfRegion({55.7, 37.7, 55.8, 37.5, 13, kMapnik, ""}).Count(), 0);
}

} // namespace
} // namespace orvane::mapview
