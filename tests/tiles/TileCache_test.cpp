#include "tiles/TileCache.hpp"

#include "conversion/CacheLayout.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "tiles/TileThread.hpp"
#include "tiles/uNetMapTile.hpp"
#include "tiles/uSurfMapTile.hpp"
#include "TileFixtures.hpp"

#include <gtest/gtest.h>

namespace orvane::tiles {
namespace {

namespace fs = std::filesystem;
using orvane::test::ReadFile;
using orvane::test::TempDir;
using orvane::test::WriteFile;
using test::Context;
using test::TileBytes;

// ---- cache file names ---------------------------------------------------------

struct PathCase {
    const char* name;
    std::string ini;   // empty: the built-in catalogue
    int mt;
    std::int32_t x, y, level;
    const char* relative;
};

const PathCase kPathCases[] = {
    {"VirtualEarthSurfaceJpg", "", 5, 2, 3, 3, "VE/SUR/03/tst.jpg"},
    {"VirtualEarthMapPng", "", 6, 2, 3, 3, "VE/MAP/03/tst.png"},
    {"GoogleSurfaceJpg", "", 1, 0, 0, 2, "GL/SUR/02/tq.jpg"},
    {"GoogleMapPng", "", 2, 0, 0, 2, "GL/MAP/02/tq.png"},
    {"OsmSurfacePng", "", 21, 1, 1, 2, "OS/SUR/02/ts.png"},
    {"GurtamPng", "", 26, 1, 0, 18, "GU/MAP/18/tqqqqqqqqqqqqqqqqr.png"},
    {"CustomPng", "", 9, 0, 1, 2, "MP/SUR/02/tt.png"},
    {"LevelOneDoubleExtension", "", 1, 0, 0, 1, "GL/SUR/01/t.jpg.jpg"},
    {"LevelOneUsesGoogleSurfaceFolder", "", 6, 0, 0, 1, "GL/SUR/01/t.jpg.png"},
    {"UnknownMapType", "", 13, 0, 0, 2, "Unk/02/tq.jpg"},
    {"DefaultFolderWithoutSeparator", "[a]\nMT=2\n", 2, 0, 0, 5, "D_F/MAP05/tqqqq.png"},
    {"ForwardSlashesToo", "[a]\nMT=2\nCachePath=a/b\\\n", 2, 0, 0, 2, "a/b/02/tq.png"},
    {"NeverLeavesTheRoot", "[a]\nMT=2\nCachePath=..\\..\\x\\.\\\n", 2, 0, 0, 2, "x/02/tq.png"},
};

class TileCachePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(TileCachePathTest, BelowTheRoot)
{
    const PathCase& c = GetParam();
    const TMapPathNamesArray catalogue = c.ini.empty() ? BuiltInCatalogue() : ParseMapsIni(c.ini);
    EXPECT_EQ(TileCachePath(catalogue, "/cache", static_cast<MapType>(c.mt), c.x, c.y, c.level),
              fs::path("/cache") / c.relative);
}

INSTANTIATE_TEST_SUITE_P(Rows, TileCachePathTest, ::testing::ValuesIn(kPathCases), orvane::test::CaseName{});

TEST(TileCachePath, CustomLayersWhereTheImportWrites)
{
    for (const int layer : {1, 2})
        EXPECT_EQ(TileCachePath(BuiltInCatalogue(), "/c", static_cast<MapType>(8 + layer), 5, 9, 5),
                  conversion::CustomLayerTilePath("/c", layer, 5, 5, 9));
}

// ---- tiles reading the cache ---------------------------------------------------

/// A queue whose downloads never start: it records the tiles handed to it.
struct RecordingQueue {
    std::vector<std::function<void()>> started;
    TileDownloads downloads{TileDownloads::Hooks{
        [this](std::function<void()> body) { started.push_back(std::move(body)); }, nullptr, nullptr}};
};

struct LoadCase {
    const char* name;
    int mt;
    std::int32_t level;
    const char* content;   // "png", "jpg", "junk" or "" (no file)
    bool online;
    bool graphic;
    bool queued;
};

const LoadCase kLoadCases[] = {
    {"PngFile", 2, 3, "png", true, true, false},
    {"JpgFile", 1, 3, "jpg", true, true, false},
    {"PngNamedFileHoldingJpeg", 2, 3, "jpg", true, true, false},
    {"JpgNamedFileHoldingPng", 1, 3, "png", true, true, false},
    {"LevelOneFile", 1, 1, "jpg", true, true, false},
    {"UndecodableFileIsAbsent", 21, 3, "junk", true, false, false},
    {"MissingOnlineQueued", 21, 3, "", true, false, true},
    {"MissingOfflineStaysEmpty", 21, 3, "", false, false, false},
    {"MissingCustomNeverQueued", 9, 3, "", true, false, false},
};

class LoadFromCacheTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFromCacheTest, State)
{
    const LoadCase& c = GetParam();
    TempDir dir;
    RecordingQueue queue;
    queue.downloads.SetOnlineMode(c.online);
    const auto context = Context(dir.Path(), &queue.downloads);
    const fs::path file = TileCachePath(*context->catalogue, dir.Path(), static_cast<MapType>(c.mt), 1, 2, c.level);
    const std::string content = std::string(c.content) == "png"   ? TileBytes(true)
                                : std::string(c.content) == "jpg" ? TileBytes(false)
                                                                  : std::string("not an image");
    if (*c.content != '\0') WriteFile(file, content);

    const auto tile = CreateTile(context, nullptr, 1, 2, c.level, static_cast<MapType>(c.mt), true);

    ASSERT_NE(tile, nullptr);
    ASSERT_EQ(tile->Graphic() != nullptr, c.graphic);
    if (c.graphic) {
        EXPECT_EQ(tile->Graphic()->Width(), 8);
    }
    EXPECT_EQ(tile->Loading(), c.queued);
    EXPECT_EQ(queue.started.size(), c.queued ? 1u : 0u);
    EXPECT_EQ(tile->ErrorText(), "");
    if (*c.content != '\0') {
        EXPECT_EQ(ReadFile(file), content);   // left as it was
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LoadFromCacheTest, ::testing::ValuesIn(kLoadCases), orvane::test::CaseName{});

TEST(CreateTile, KindSetsTheClassAndOtherKindsGetNone)
{
    TempDir dir;
    const auto context = Context(dir.Path(), nullptr);
    const auto surface = CreateTile(context, nullptr, 1, 2, 3, 21, false);
    const auto map = CreateTile(context, nullptr, 1, 2, 3, 6, false);
    EXPECT_NE(dynamic_cast<TSurfaceMapTile*>(surface.get()), nullptr);
    EXPECT_NE(dynamic_cast<TNetworkMapTile*>(map.get()), nullptr);
    EXPECT_EQ(map->Source, 4);
    EXPECT_EQ(map->Kind, 2);
    EXPECT_EQ(map->MT, 6);
    EXPECT_EQ(map->Key, "ttr");
    EXPECT_EQ(CreateTile(context, nullptr, 1, 2, 3, 20, true), nullptr);
    EXPECT_EQ(CreateTile(context, nullptr, 1, 2, 3, 23, true), nullptr);
    EXPECT_FALSE(CacheFileExists(*map));
    WriteFile(TileCachePath(*map), "x");
    EXPECT_TRUE(CacheFileExists(*map));
}

// ---- decoding downloaded bytes ----------------------------------------------------

struct StreamCase {
    const char* name;
    int mt;
    bool png;         // bytes are PNG (else JPEG)
};

const StreamCase kStreamCases[] = {
    {"OsmSurfaceGivenJpeg", 21, false}, {"OsmSurfaceGivenPng", 21, true},   {"GoogleSurfaceGivenPng", 1, true},
    {"GoogleSurfaceGivenJpeg", 1, false}, {"NetworkTileGivenJpeg", 2, false}, {"GurtamGivenPng", 26, true},
};

class LoadFromStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LoadFromStreamTest, EitherFormatIsShown)
{
    const StreamCase& c = GetParam();
    TempDir dir;
    const auto tile = CreateTile(Context(dir.Path(), nullptr), nullptr, 0, 0, 2, static_cast<MapType>(c.mt), false);
    const std::string bytes = TileBytes(c.png);
    EXPECT_TRUE(tile->LoadFromStream({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
    ASSERT_NE(tile->Graphic(), nullptr);
    EXPECT_EQ(tile->Graphic()->Height(), 8);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoadFromStreamTest, ::testing::ValuesIn(kStreamCases), orvane::test::CaseName{});

TEST(LoadFromStream, JunkKeepsThePreviousState)
{
    TempDir dir;
    const auto tile = CreateTile(Context(dir.Path(), nullptr), nullptr, 0, 0, 2, 2, false);
    const std::uint8_t junk[] = {0x89, 'P', 'N', 'G', 0xFF, 0xD8, 0};
    EXPECT_FALSE(tile->LoadFromStream(junk));
    EXPECT_EQ(tile->Graphic(), nullptr);
    EXPECT_FALSE(tile->LoadFromStream({}));
}

} // namespace
} // namespace orvane::tiles
