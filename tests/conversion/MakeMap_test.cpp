#include "conversion/MakeMap.hpp"

#include "conversion/CacheLayout.hpp"
#include "conversion/MapFixture.hpp"
#include "conversion/MapPackage.hpp"
#include "geo/MercUtil.hpp"
#include "image/ImageCodecs.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <set>

namespace orvane::conversion {
namespace {

namespace fs = std::filesystem;
using test::MapSheet;
using test::TempDir;

/// Records what the pipeline reports and cancels after a chosen tile.
class RecordingProgress : public ConversionProgress {
public:
    void Datum(std::string_view caption) override { datum = caption; }
    void Label(std::string_view text) override { labels.emplace_back(text); }
    void TileCut(std::int64_t, std::int64_t, std::int32_t, std::int64_t doneOverall, std::int64_t) override
    {
        tilesCut = doneOverall;
    }
    bool CancelRequested() override { return cancelAfter >= 0 && tilesCut >= cancelAfter; }
    void PauseBeforeBuild() override { ++pauses; }

    std::string datum;
    std::vector<std::string> labels;
    std::int64_t tilesCut = 0;
    std::int64_t cancelAfter = -1;
    int pauses = 0;
};

MakeMapResult Convert(const fs::path& map, const fs::path& out, ConversionSettings settings = {},
                      RecordingProgress* progress = nullptr)
{
    RecordingProgress local;
    MakeMapRequest request;
    request.inFile = map;
    request.outFile = out;
    return MakeMap(request, settings, progress ? *progress : local);
}

std::size_t CountFiles(const fs::path& dir)
{
    if (!fs::exists(dir)) return 0;
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) ++n;
    return n;
}

TEST(MakeMap, WritesAPackageWhoseTilesMatchTheTemporaryNumbering)
{
    TempDir dir;
    MapSheet sheet;  // 1200 x 900 at 7000 px/deg: base level 14
    const fs::path map = test::WriteMap(dir.Path(), "sheet", sheet);
    ConversionSettings s;
    s.levelCount = 2;
    s.ignoreBorder = false;
    s.leaveTmpTiles = true;
    RecordingProgress progress;
    const MakeMapResult r = Convert(map, dir / "out" / "sheet.qvm", s, &progress);

    EXPECT_EQ(r.baseLevel, 14);
    EXPECT_EQ(r.lowLevel, 13);
    EXPECT_EQ(progress.datum, "WGS84");
    ASSERT_FALSE(progress.labels.empty());
    EXPECT_EQ(progress.labels.front(), "---/---");
    EXPECT_EQ(progress.labels.back(), "Map final build...");
    EXPECT_FALSE(fs::exists(dir / "out" / "sheet.qvp"));

    const MapPackageReader qvm(dir / "out" / "sheet.qvm", PackageLayout::Internal);
    const MapPackageReader qvo(dir / "out" / "sheet.qvo", PackageLayout::External);
    EXPECT_EQ(qvm.Header(), qvo.Header());
    EXPECT_EQ(qvm.Header().tileCount, static_cast<std::uint32_t>(r.tilesWritten));
    EXPECT_EQ(qvm.Header().startLevel, 13);
    EXPECT_NEAR(qvm.Header().CentreLat(), 55.75, 1.0 / 60);  // whole minutes, truncated
    EXPECT_NEAR(r.centreLat, 55.75, 1e-4);  // midway in latitude, not in the Mercator ordinate
    EXPECT_NEAR(r.centreLon, 37.6, 1e-6);
    ASSERT_EQ(qvm.Tiles().size(), static_cast<std::size_t>(r.tilesWritten));
    for (std::size_t i = 0; i < qvm.Tiles().size(); ++i) {
        const auto data = qvm.ReadTileData(i);
        EXPECT_EQ(data, qvo.ReadTileData(i));
        // Temporary tile i+1 holds exactly the package's tile i.
        EXPECT_EQ(test::ReadFile(dir / "out" / "tmptiles" / TempTileName(static_cast<std::int64_t>(i) + 1, false)),
                  std::string(data.begin(), data.end()));
        EXPECT_EQ(SniffTileFormat(data), TileFormat::Jpeg);
    }
    // Levels most detailed first, rows north to south, columns west to east.
    for (std::size_t i = 1; i < qvm.Tiles().size(); ++i) {
        const auto& a = qvm.Tiles()[i - 1];
        const auto& b = qvm.Tiles()[i];
        EXPECT_TRUE(a.level > b.level || (a.level == b.level && (a.y < b.y || (a.y == b.y && a.x < b.x))));
    }
}

TEST(MakeMap, ThreadCountDoesNotChangeOneByte)
{
    TempDir dir;
    MapSheet sheet;
    sheet.width = 2000;
    sheet.height = 1500;
    sheet.imageName = "map.jpg";
    // Black bands make blank tiles, which must be skipped alike.
    sheet.paint = [](image::RgbImage& img) {
        test::PaintPattern(img);
        for (std::int32_t y = 0; y < img.Height(); ++y)
            for (std::int32_t x = 0; x < img.Width(); ++x)
                if (x < 700 || y > 1100) std::fill_n(img.Row(y) + 3 * x, 3, std::uint8_t{0});
    };
    const fs::path map = test::WriteMap(dir.Path(), "sheet", sheet);
    std::string reference[2];
    for (int threads : {1, 2, 5}) {
        ConversionSettings s;
        s.levelCount = 3;
        s.ignoreBorder = false;
        s.threads = threads;
        const fs::path out = dir / ("t" + std::to_string(threads)) / "m.qvm";
        const MakeMapResult r = Convert(map, out, s);
        EXPECT_GT(r.blankTiles, 0);
        const std::string qvm = test::ReadFile(fs::path(out).replace_extension(".qvm"));
        const std::string qvo = test::ReadFile(fs::path(out).replace_extension(".qvo"));
        if (threads == 1) {
            reference[0] = qvm;
            reference[1] = qvo;
        } else {
            EXPECT_TRUE(qvm == reference[0]) << threads << " threads";
            EXPECT_TRUE(qvo == reference[1]) << threads << " threads";
        }
    }
}

TEST(MakeMap, AMarkLandsWhereTheGridPutsIt)
{
    // A red square centred on a known point of a Pulkovo-free WGS 84 map;
    // after conversion it must sit in the tile and pixel where the web grid
    // puts that latitude and longitude.
    TempDir dir;
    MapSheet sheet;
    sheet.width = 1600;
    sheet.height = 1200;
    const test::MapFrame frame = test::FrameOf(sheet);
    const std::int32_t markX = 1013, markY = 641;
    const double markLat = frame.LatOfRow(markY + 0.5);
    const double markLon = frame.LonOfColumn(markX + 0.5);
    sheet.paint = [&](image::RgbImage& img) {
        for (std::int32_t y = 0; y < img.Height(); ++y)
            for (std::int32_t x = 0; x < img.Width(); ++x) {
                std::uint8_t* p = img.Row(y) + 3 * x;
                const bool mark = std::abs(x - markX) <= 2 && std::abs(y - markY) <= 2;
                p[0] = mark ? 255 : 200;
                p[1] = mark ? 0 : 200;
                p[2] = mark ? 0 : 200;
            }
    };
    const fs::path map = test::WriteMap(dir.Path(), "mark", sheet);
    ConversionSettings s;
    s.levelCount = 1;
    s.png = true;
    s.ignoreBorder = false;
    const MakeMapResult r = Convert(map, dir / "mark.qvm", s);
    const std::int32_t level = r.baseLevel;

    const auto gx = static_cast<std::int32_t>(geo::LonToPixelX(level, markLon));
    const auto gy = static_cast<std::int32_t>(geo::LatToPixelY(level, markLat));
    const MapPackageReader pkg(dir / "mark.qvm", PackageLayout::Internal);
    bool found = false;
    for (std::size_t i = 0; i < pkg.Tiles().size(); ++i) {
        const PackageTile& t = pkg.Tiles()[i];
        if (t.x != gx / 256 || t.y != gy / 256) continue;
        found = true;
        const auto data = pkg.ReadTileData(i);
        const image::RgbImage tile = image::DecodePng(data);
        // Find the reddest pixel and compare with the grid's position.
        std::int32_t bestX = -1, bestY = -1, best = -1;
        for (std::int32_t y = 0; y < 256; ++y)
            for (std::int32_t x = 0; x < 256; ++x) {
                const std::uint8_t* p = tile.Row(y) + 3 * x;
                const int redness = p[0] - p[1];
                if (redness > best) {
                    best = redness;
                    bestX = x;
                    bestY = y;
                }
            }
        EXPECT_GT(best, 100);
        EXPECT_NEAR(bestX, gx % 256, 2) << "level " << level;
        EXPECT_NEAR(bestY, gy % 256, 2) << "level " << level;
    }
    EXPECT_TRUE(found) << "no tile " << gx / 256 << "," << gy / 256;
}

TEST(MakeMap, BlankTilesAreSkippedWithoutRenumbering)
{
    TempDir dir;
    MapSheet sheet;
    sheet.width = 2000;
    sheet.height = 1500;
    // Only the south-east corner has content.
    sheet.paint = [](image::RgbImage& img) {
        test::PaintPattern(img);
        for (std::int32_t y = 0; y < img.Height(); ++y)
            for (std::int32_t x = 0; x < img.Width(); ++x)
                if (x < 1500 || y < 1100) std::fill_n(img.Row(y) + 3 * x, 3, std::uint8_t{0});
    };
    const fs::path map = test::WriteMap(dir.Path(), "corner", sheet);
    ConversionSettings s;
    s.levelCount = 2;
    s.ignoreBorder = false;
    s.leaveTmpTiles = true;
    const MakeMapResult r = Convert(map, dir / "corner.qvm", s);
    EXPECT_GT(r.blankTiles, 0);
    EXPECT_GT(r.tilesWritten, 0);
    // Numbered 1..n without gaps, and n equals the header's count.
    EXPECT_EQ(CountFiles(dir / "tmptiles"), static_cast<std::size_t>(r.tilesWritten));
    EXPECT_TRUE(fs::exists(dir / "tmptiles" / TempTileName(r.tilesWritten, false)));
    const MapPackageReader pkg(dir / "corner.qvo", PackageLayout::External);
    EXPECT_EQ(pkg.Header().tileCount, static_cast<std::uint32_t>(r.tilesWritten));
}

TEST(MakeMap, TemporaryTilesGoUnlessKept)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "m", MapSheet{});
    ConversionSettings s;
    s.levelCount = 1;
    s.ignoreBorder = false;
    const MakeMapResult r = Convert(map, dir / "m.qvm", s);
    EXPECT_GT(r.tilesWritten, 0);
    EXPECT_TRUE(fs::is_directory(dir / "tmptiles"));  // the folder itself stays
    EXPECT_EQ(CountFiles(dir / "tmptiles"), 0u);
}

TEST(MakeMap, CancelLeavesTemporaryTilesAndNoPackage)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "m", MapSheet{});
    ConversionSettings s;
    s.levelCount = 2;
    s.ignoreBorder = false;
    s.threads = 2;
    RecordingProgress progress;
    progress.cancelAfter = 3;
    EXPECT_THROW(Convert(map, dir / "m.qvm", s, &progress), Cancelled);
    EXPECT_EQ(progress.tilesCut, 3);
    EXPECT_EQ(CountFiles(dir / "tmptiles"), 3u);
    EXPECT_FALSE(fs::exists(dir / "m.qvm"));
    EXPECT_FALSE(fs::exists(dir / "m.qvo"));
}

TEST(MakeMap, PauseComesBeforeTheFinalBuild)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "m", MapSheet{});
    ConversionSettings s;
    s.levelCount = 1;
    s.ignoreBorder = false;
    s.pauseAtBuild = true;
    RecordingProgress progress;
    Convert(map, dir / "m.qvm", s, &progress);
    EXPECT_EQ(progress.pauses, 1);
}

TEST(MakeMap, GoogleMvExportWritesPngTilesByKey)
{
    TempDir dir;
    MapSheet sheet;
    sheet.imageName = "map.jpg";
    const fs::path map = test::WriteMap(dir.Path(), "gm", sheet);
    ConversionSettings s;
    s.levelCount = 3;
    s.ignoreBorder = false;
    RecordingProgress progress;
    MakeMapRequest request;
    request.target = MakeMapTarget::Cache;
    request.inFile = map;
    request.folder = dir / "GoogleMV";
    const MakeMapResult r = MakeMap(request, s, progress);
    ASSERT_EQ(r.baseLevel, 14);
    std::size_t files = 0;
    for (const char* level : {"14", "13", "12"}) {
        const fs::path folder = dir / "GoogleMV" / "Cache" / "mt" / level;
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& e : fs::directory_iterator(folder)) {
            ++files;
            const std::string name = e.path().filename().string();
            EXPECT_EQ(name.size(), static_cast<std::size_t>(std::stoi(level)) + 4) << name;
            EXPECT_EQ(e.path().extension(), ".png");
            const std::string bytes = test::ReadFile(e.path());
            EXPECT_EQ(SniffTileFormat({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}),
                      TileFormat::Png);
        }
    }
    EXPECT_EQ(files, static_cast<std::size_t>(r.tilesWritten));
    EXPECT_FALSE(fs::exists(dir / "tmptiles"));
}

TEST(MakeMap, CustomLayerImportWritesUnderTheLayerFolder)
{
    TempDir dir;
    const fs::path map = test::WriteMap(dir.Path(), "c", MapSheet{});
    ConversionSettings s;
    s.levelCount = 1;
    s.ignoreBorder = false;
    for (int layer : {1, 2}) {
        RecordingProgress progress;
        MakeMapRequest request;
        request.target = MakeMapTarget::Cache;
        request.inFile = map;
        request.customMap = layer;
        request.cacheFolder = dir / "Cache";
        const MakeMapResult r = MakeMap(request, s, progress);
        const fs::path folder = dir / "Cache" / "MP" / (layer == 1 ? "SUR" : "MAP") / "14";
        EXPECT_EQ(CountFiles(folder), static_cast<std::size_t>(r.tilesWritten)) << folder;
    }
}

struct BadInputCase {
    const char* name;
    std::string datumLine;
    std::string projectionLine;
    std::string imageName;
    bool writeImage;
    bool corruptImage;
    double ppd;
    const char* expected;
};

const BadInputCase kBadInputs[] = {
    {"transverse_mercator", "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Map Projection,Transverse Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No", "map.png", true, false, 7000,
     "Wrong map projection:Transverse\r\n Must be Mercator!\r\n\r\nКарта недоспустимой проекции:Transverse\r\n "
     "Должна быть проекции Меркатора!"},
    {"unknown_datum", "Tokyo,WGS 84,   0.0000,   0.0000,WGS 84",
     "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No", "map.png", true, false, 7000,
     "Unknown datum: Tokyo\r\nMust be WGS 84 or Pulkovo 1942 (2)!\r\n\r\nНеизвестная система координат: "
     "Tokyo\r\nДолжна быть WGS 84 или Pulkovo 1942 (2)!"},
    {"missing_image", "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No", "map.png", false, false, 7000,
     "Error on load: Can' find map image: map.png or map.png"},
    {"unsupported_type", "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No", "map.xyz", false, false, 7000,
     "Only JPG, GIF, BMP, PNG map file supported! Unknown file type:map.xyz"},
    {"too_detailed", "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No", "map.png", true, false, 200000,
     "Your map is too highly detailed (Zoom >= 20 can not be used). Lower resolution and try again."},
};

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, RefusesWithTheExactMessage)
{
    const auto& c = GetParam();
    TempDir dir;
    MapSheet sheet;
    sheet.datumLine = c.datumLine;
    sheet.projectionLine = c.projectionLine;
    sheet.ppd = c.ppd;
    sheet.imageName = c.writeImage ? c.imageName : "unused.png";
    test::WriteMap(dir.Path(), "bad", sheet);
    // Point the calibration at the image name of the case.
    std::string text = test::MapText(sheet);
    if (!c.writeImage) {
        sheet.imageName = c.imageName;
        text = test::MapText(sheet);
    }
    test::WriteFile(dir / "bad.map", text);
    try {
        Convert(dir / "bad.map", dir / "bad.qvm");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), c.expected);
    }
    EXPECT_FALSE(fs::exists(dir / "bad.qvm"));
    EXPECT_EQ(CountFiles(dir / "tmptiles"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputTest, ::testing::ValuesIn(kBadInputs), test::CaseName{});

TEST(MakeMap, ACorruptImageFailsAsALoadError)
{
    TempDir dir;
    MapSheet sheet;
    sheet.imageName = "map.jpg";
    test::WriteMap(dir.Path(), "bad", sheet);
    const std::string jpeg = test::ReadFile(dir / "map.jpg");
    test::WriteFile(dir / "map.jpg", jpeg.substr(0, 600));  // cut inside the first scans
    try {
        Convert(dir / "bad.map", dir / "bad.qvm");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Error on load: ", 0), 0u) << e.what();
    }
}

} // namespace
} // namespace orvane::conversion
