#include "mapview/TRPMap.hpp"

#include "geo/MercUtil.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "tiles/TileCache.hpp"
#include "tiles/TileFixtures.hpp"
#include "tiles/TileThread.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <functional>
#include <vector>

namespace orvane::mapview {
namespace {

namespace fs = std::filesystem;
using orvane::test::TempDir;
using orvane::test::WriteFile;
using tiles::BuiltInCatalogue;
using tiles::TileCachePath;

/// A view over `cache` whose tiles are never queued for download.
TRPMap OfflineView(const fs::path& cache, tiles::TMapPathNamesArray catalogue = BuiltInCatalogue())
{
    return TRPMap(tiles::test::Context(cache, nullptr, std::move(catalogue)));
}

std::size_t TilesIn(const std::vector<PaintCell>& cells)
{
    std::size_t n = 0;
    for (const auto& c : cells) n += c.tile != nullptr;
    return n;
}

// ---- the cells of a paint ----------------------------------------------------------

struct PaintCase {
    const char* name;
    std::int32_t width, height;
    std::int32_t centreX, centreY;        // at level 5: 2048 pixels per side
    std::size_t cells;
    std::size_t rows;                     // cells per column
    std::size_t tiles;                    // cells inside the world
    std::int32_t firstColumn, firstRow;
    std::int64_t firstLeft, firstTop;     // where the first cell's tile is drawn
};

const PaintCase kPaintCases[] = {
    {"View505x483", 505, 483, 1000, 700, 9, 3, 9, 2, 1, -236, -203},
    {"View1024x768", 1024, 768, 1000, 700, 35, 5, 35, 0, 0, -488, -316},
    // Panned west of the world: division and remainder truncate toward zero.
    {"WestOfTheWorld", 256, 256, -300, 100, 9, 3, 2, -2, -1, -84, -228},
    {"SmallerThanATile", 100, 50, 1000, 700, 9, 3, 9, 2, 1, -438, -419},
};

class PaintCellsTest : public ::testing::TestWithParam<PaintCase> {};

TEST_P(PaintCellsTest, VisitsOneRingBeyondTheViewColumnByColumn)
{
    const PaintCase& c = GetParam();
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetMapType(21);
    view.SetLevel(5);
    view.SetCentre(c.centreX, c.centreY);

    const auto cells = view.PaintCells(c.width, c.height);
    ASSERT_EQ(cells.size(), c.cells);
    EXPECT_EQ(view.CellsPainted(), static_cast<std::int64_t>(c.cells));
    EXPECT_EQ(TilesIn(cells), c.tiles);
    EXPECT_EQ(view.TileCount(), c.tiles);
    EXPECT_EQ(cells[0].column, c.firstColumn);
    EXPECT_EQ(cells[0].row, c.firstRow);
    EXPECT_EQ(cells[0].left, c.firstLeft);
    EXPECT_EQ(cells[0].top, c.firstTop);
    // Rows run inside columns; neighbours sit one tile apart.
    EXPECT_EQ(cells[1].column, c.firstColumn);
    EXPECT_EQ(cells[1].row, c.firstRow + 1);
    EXPECT_EQ(cells[1].top, c.firstTop + 256);
    EXPECT_EQ(cells[c.rows].column, c.firstColumn + 1);
    EXPECT_EQ(cells[c.rows].row, c.firstRow);
    EXPECT_EQ(cells[c.rows].left, c.firstLeft + 256);
    for (const auto& cell : cells) {
        if (!cell.tile) continue;
        EXPECT_EQ(cell.tile->X, cell.column);
        EXPECT_EQ(cell.tile->Y, cell.row);
        EXPECT_EQ(cell.tile->MT, 21);
    }

    // A second paint finds every tile in the list.
    view.PaintCells(c.width, c.height);
    EXPECT_EQ(view.TileCount(), c.tiles);
}

INSTANTIATE_TEST_SUITE_P(Views, PaintCellsTest, ::testing::ValuesIn(kPaintCases), orvane::test::CaseName{});

TEST(TRPMapTiles, LevelOneShowsOnlyTheGoogleSurfaceTileWhateverTheLayer)
{
    TempDir dir;
    const fs::path t = TileCachePath(BuiltInCatalogue(), dir.Path(), 1, 0, 0, 1);
    ASSERT_EQ(t.filename(), "t.jpg.jpg");
    WriteFile(t, tiles::test::TileBytes(false));

    TRPMap view = OfflineView(dir.Path());
    for (const tiles::MapType mt : {5, 2, 21, 9, 26}) {
        SCOPED_TRACE(int(mt));
        view.SetMapType(mt);
        const auto cells = view.PaintCells(505, 483);
        ASSERT_EQ(TilesIn(cells), 1u);
        for (const auto& cell : cells) {
            if (!cell.tile) continue;
            EXPECT_EQ(cell.column, 0);
            EXPECT_EQ(cell.row, 0);
            EXPECT_EQ(cell.tile->MT, 1);
            EXPECT_NE(cell.tile->Graphic(), nullptr);
        }
    }
    EXPECT_EQ(view.TileCount(), 1u);
}

TEST(TRPMapTiles, GetTileCreatesEachTileOnceAndNoneWhereNoTileCanBe)
{
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevel(5);
    view.SetMapType(21);

    const auto surface = view.GetTile(3, 4, 1);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(view.GetTile(3, 4, 1), surface);
    EXPECT_EQ(view.GetViewTile(3, 4), surface);
    const auto map = view.GetTile(3, 4, 2);
    ASSERT_NE(map, nullptr);
    EXPECT_NE(map, surface);
    EXPECT_EQ(map->MT, 22);
    view.SetMapType(5);
    const auto other = view.GetViewTile(3, 4);
    EXPECT_NE(other, surface);
    EXPECT_EQ(other->MT, 5);
    EXPECT_EQ(view.TileCount(), 3u);

    // Outside the world, and kinds without a tile class.
    for (const auto& [x, y] : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{16, 0}, std::pair{0, 16}})
        EXPECT_EQ(view.GetViewTile(x, y), nullptr) << x << "," << y;
    EXPECT_EQ(view.GetTile(3, 4, 0), nullptr);
    EXPECT_EQ(view.GetTile(3, 4, 3), nullptr);
    view.SetMapType(23);
    EXPECT_EQ(TilesIn(view.PaintCells(505, 483)), 0u);
    EXPECT_EQ(view.TileCount(), 3u);
}

TEST(TRPMapTiles, DropUncachedAndDuplicateTilesKeepTheFirstInOrder)
{
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevel(5);
    view.SetMapType(21);
    const auto a = view.GetViewTile(1, 1);
    const auto b = view.GetViewTile(2, 1);
    view.SetMapType(5);
    const auto aOther = view.GetViewTile(1, 1);   // same cell and level, other layer
    const auto c = view.GetViewTile(3, 1);
    view.SetLevel(6);
    const auto aFiner = view.GetViewTile(1, 1);   // same cell, other level

    for (const auto& tile : {a, aOther, c, aFiner}) WriteFile(TileCachePath(*tile), "x");
    view.DropUncachedTiles();
    ASSERT_EQ(view.TileCount(), 4u);
    EXPECT_EQ(view.TileAt(0), a);
    EXPECT_EQ(view.TileAt(1), aOther);

    view.DropDuplicateTiles();
    ASSERT_EQ(view.TileCount(), 3u);
    EXPECT_EQ(view.TileAt(0), a);
    EXPECT_EQ(view.TileAt(1), c);
    EXPECT_EQ(view.TileAt(2), aFiner);

    // The list answers lookups after the drops: the dropped tile is made anew.
    view.SetLevel(5);
    EXPECT_EQ(view.GetViewTile(3, 1), c);
    const auto again = view.GetViewTile(2, 1);
    EXPECT_NE(again, b);
    EXPECT_EQ(view.TileCount(), 4u);
    view.ClearTiles();
    EXPECT_EQ(view.TileCount(), 0u);
}

// ---- level, centre and pointer -----------------------------------------------------------

TEST(TRPMapCentre, ChangingTheLevelKeepsTheGeographicCentre)
{
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevelAndCentre(5, 37.62, 55.75);
    view.PaintCells(800, 600);
    const double onePixel = 1 / geo::ViewPixelsPerDegree(5);
    EXPECT_NEAR(view.PointToLongitude(400), 37.62, onePixel);
    EXPECT_NEAR(view.PointToLatitude(300), 55.75, onePixel);

    view.SetLevel(10);
    view.PaintCells(800, 600);
    EXPECT_EQ(view.Level(), 10);
    EXPECT_NEAR(view.PointToLongitude(400), 37.62, onePixel);
    EXPECT_NEAR(view.PointToLatitude(300), 55.75, onePixel);
    EXPECT_NEAR(view.CentreLatitude(), 55.75, onePixel);

    view.SetLevel(0);
    EXPECT_EQ(view.Level(), 1);
    view.SetLevel(40);
    EXPECT_EQ(view.Level(), 18);
}

TEST(TRPMapPointer, DraggingMovesTheCentreUnlessAGpsFixHoldsIt)
{
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevel(5);
    view.SetCentre(1000, 700);
    view.PointerDown(300, 300);
    EXPECT_TRUE(view.PointerMove(200, 300));
    EXPECT_TRUE(view.PointerMove(44, 300));
    EXPECT_FALSE(view.PointerUp(44, 300).has_value());
    EXPECT_EQ(view.CentreX(), 1256);   // 256 pixels to the left: one tile east
    EXPECT_EQ(view.CentreY(), 700);
    EXPECT_FALSE(view.PointerMove(0, 0));

    view.UpdateGpsFix(gps::TGpsFix{55.75, 37.62, 10, 90, 90});
    view.PointerDown(300, 300);
    view.PointerMove(0, 0);
    view.PointerUp(0, 0);
    view.PaintCells(600, 600);
    EXPECT_EQ(view.CentreX(), geo::ViewLonToPixelX(5, 37.62));
    EXPECT_EQ(view.CentreY(), geo::ViewLatToPixelY(5, 55.75));
}

struct SelectionCase {
    const char* name;
    std::vector<std::pair<std::int32_t, std::int32_t>> moves;   // after the press at (400, 300)
    std::pair<std::int32_t, std::int32_t> bottomRight;          // view point of the reported bottom-right corner
};

const SelectionCase kSelectionCases[] = {
    {"ReleaseWithoutMoving", {{400, 300}}, {400, 300}},
    {"OnlyNorthWest", {{300, 200}, {350, 250}}, {400, 300}},
    {"SouthEast", {{450, 350}, {500, 420}}, {500, 420}},
    // Back towards the press but still south-east of it: the edges follow.
    {"SouthEastThenBack", {{500, 420}, {420, 310}}, {420, 310}},
    // North-west of the press after going south-east: the edges stay.
    {"SouthEastThenNorthWest", {{500, 420}, {100, 100}}, {500, 420}},
};

class SelectionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SelectionTest, RegionGrowsOnlySouthEastOfThePress)
{
    const SelectionCase& c = GetParam();
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevelAndCentre(10, 37.6, 55.75);
    view.PaintCells(800, 600);
    view.SetSelecting(true);
    EXPECT_FALSE(view.SelectionShown());
    view.PointerDown(400, 300);
    EXPECT_TRUE(view.SelectionShown());
    EXPECT_FALSE(view.Dragging());
    for (std::size_t i = 0; i + 1 < c.moves.size(); ++i) view.PointerMove(c.moves[i].first, c.moves[i].second);
    const auto reported = view.PointerUp(c.moves.back().first, c.moves.back().second);

    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(reported->topLat, view.PointToLatitude(300));
    EXPECT_EQ(reported->leftLon, view.PointToLongitude(400));
    EXPECT_EQ(reported->bottomLat, view.PointToLatitude(c.bottomRight.second));
    EXPECT_EQ(reported->rightLon, view.PointToLongitude(c.bottomRight.first));
    EXPECT_EQ(*reported, view.Selection());
    EXPECT_FALSE(view.Selecting());
    EXPECT_TRUE(view.SelectionShown());
    EXPECT_EQ(view.CentreX(), geo::ViewLonToPixelX(10, 37.6));   // marking never pans
}

INSTANTIATE_TEST_SUITE_P(Moves, SelectionTest, ::testing::ValuesIn(kSelectionCases), orvane::test::CaseName{});

// ---- stored state --------------------------------------------------------------------------

struct StateCase {
    const char* name;
    bool shortCatalogue;       // a maps.ini of two entries
    ViewState stored;
    std::int32_t level, centreX, centreY, mapIndex;
    tiles::MapType mapType;
};

const StateCase kStateCases[] = {
    {"FirstStart", false, {}, 1, 127, 127, 0, 5},
    {"Level12GoogleMap", false, {12, 300000, 200000, 3}, 12, 300000, 200000, 3, 2},
    // The level keeps the centre of the last paint (none yet: 0, 0).
    {"LevelBeyond18", false, {40, {}, {}, {}}, 18, 1 << 24, 1 << 24, 0, 5},
    {"IndexBeyondAShortMapsIni", true, {{}, {}, {}, 4}, 1, 127, 127, 4, 21},
    {"IndexFromTheMapsIni", true, {{}, {}, {}, 1}, 1, 127, 127, 1, 42},
    {"IndexBeyondEveryCatalogue", false, {{}, {}, {}, 42}, 1, 127, 127, 0, 5},
    {"NegativeIndex", false, {{}, {}, {}, -1}, 1, 127, 127, 0, 5},
};

class ViewStateTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(ViewStateTest, AppliesWhatIsStoredAndGuardsTheMapIndex)
{
    const StateCase& c = GetParam();
    TempDir dir;
    tiles::TMapPathNamesArray catalogue = BuiltInCatalogue();
    if (c.shortCatalogue) catalogue = tiles::ParseMapsIni("[A]\nMT=41\n[B]\nMT=42\n");
    TRPMap view = OfflineView(dir.Path(), catalogue);
    view.ApplyState(c.stored);
    EXPECT_EQ(view.Level(), c.level);
    EXPECT_EQ(view.CentreX(), c.centreX);
    EXPECT_EQ(view.CentreY(), c.centreY);
    EXPECT_EQ(view.MapIndex(), c.mapIndex);
    EXPECT_EQ(view.GetMapType(), c.mapType);

    const ViewState saved = view.State();
    EXPECT_EQ(saved.level, c.level);
    EXPECT_EQ(saved.centreX, c.centreX);
    EXPECT_EQ(saved.centreY, c.centreY);
    EXPECT_EQ(saved.mapIndex, c.mapIndex);
}

INSTANTIATE_TEST_SUITE_P(Stored, ViewStateTest, ::testing::ValuesIn(kStateCases), orvane::test::CaseName{});

// ---- reload --------------------------------------------------------------------------------

TEST(TRPMapReload, DeletesTheCacheFilesAroundTheViewExceptCustomOnes)
{
    TempDir dir;
    TRPMap view = OfflineView(dir.Path());
    view.SetLevel(5);
    view.SetCentre(1000, 700);
    std::vector<fs::path> online, custom, beyond;
    for (std::int32_t x = 1; x <= 5; ++x)
        for (std::int32_t y = 0; y <= 4; ++y) {
            const bool inView = x >= 2 && x <= 4 && y >= 1 && y <= 3;
            const fs::path o = TileCachePath(BuiltInCatalogue(), dir.Path(), 21, x, y, 5);
            const fs::path m = TileCachePath(BuiltInCatalogue(), dir.Path(), 9, x, y, 5);
            WriteFile(o, "o");
            WriteFile(m, "m");
            (inView ? online : beyond).push_back(o);
            custom.push_back(m);
            if (!inView) beyond.push_back(m);
        }

    for (const tiles::MapType mt : {21, 9}) {
        view.SetMapType(mt);
        view.PaintCells(505, 483);
        ASSERT_TRUE(view.ReloadTiles(505, 483));
        EXPECT_EQ(view.TileCount(), 0u);
    }
    for (const auto& f : online) EXPECT_FALSE(fs::exists(f)) << f;
    for (const auto& f : custom) EXPECT_TRUE(fs::exists(f)) << f;
    for (const auto& f : beyond) EXPECT_TRUE(fs::exists(f)) << f;
}

TEST(TRPMapReload, RefusedWhileDownloadsRun)
{
    TempDir dir;
    std::deque<std::function<void()>> bodies;
    struct NotFound final : HttpClient {
        HttpResponse Get(const HttpRequest&) override { return HttpResponse{404, "HTTP/1.1 404 Not Found", "", ""}; }
    };
    tiles::TileDownloads downloads(tiles::TileDownloads::Hooks{
        [&bodies](std::function<void()> body) { bodies.push_back(std::move(body)); }, {},
        [] { return std::make_unique<NotFound>(); }});
    {
        TRPMap view(tiles::test::Context(dir.Path(), &downloads));
        view.SetLevel(5);
        view.SetMapType(21);
        view.SetCentre(1000, 700);
        const fs::path kept = TileCachePath(BuiltInCatalogue(), dir.Path(), 21, 3, 2, 5);
        WriteFile(kept, "x");
        view.PaintCells(505, 483);
        ASSERT_EQ(downloads.RunningDownloads(), 5);

        EXPECT_FALSE(view.ReloadTiles(505, 483));
        EXPECT_TRUE(fs::exists(kept));
        EXPECT_EQ(view.TileCount(), 9u);
    }
    // The view emptied the queue on its way out; the running ones end here.
    EXPECT_EQ(downloads.QueueLength(), 0u);
    while (!bodies.empty()) {
        auto body = std::move(bodies.front());
        bodies.pop_front();
        body();
    }
    EXPECT_EQ(downloads.RunningDownloads(), 0);
}

} // namespace
} // namespace orvane::mapview
