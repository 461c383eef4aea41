#include "conversion/ImportPackage.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace orvane::conversion {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // path below the cache -> content

struct Tile {
    std::int32_t x;
    std::int32_t y;
    std::int32_t level;
    std::string data;
};

// South of the equator: the header stores DF E2 for -33.5, read back unsigned.
const PackageHeaderInfo kHeader{-33.5, 37.25, 7};
const std::vector<Tile> kTiles = {
    {0, 0, 1, "\xFF\xD8 a JPEG tile"},
    {2, 3, 3, "\x89PNG\r\n\x1A\n a PNG tile"},
    {3, 0, 3, "third"},
    {0, 0, 12, "deep"},
};
constexpr double kCentreLat = 223 + 226 / 60.0;
constexpr double kCentreLon = 37.25;

// The same tiles as files of a layer: level folders of two digits, tile keys, ".png" whatever the data.
Files LayerFiles(const char* layerFolder)
{
    const std::string f = std::string("MP/") + layerFolder + "/";
    return {{f + "01/t.png", kTiles[0].data},
            {f + "03/tst.png", kTiles[1].data},
            {f + "03/trr.png", kTiles[2].data},
            {f + "12/tqqqqqqqqqqq.png", kTiles[3].data}};
}

std::string Be32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string Record(std::int32_t x, std::int32_t y, std::int32_t level, std::uint32_t size)
{
    return Be32(static_cast<std::uint32_t>(x)) + Be32(static_cast<std::uint32_t>(y)) +
           Be32(static_cast<std::uint32_t>(level)) + std::string(1, '\x02') + Be32(size);
}

std::string Header(std::uint32_t count) { return std::string("\x01\x00\x02\x00\x06", 5) + Be32(count); }

std::string InDir(std::string_view text, const fs::path& dir)
{
    std::string out;
    for (char c : text) out += c == '@' ? dir.string() : std::string(1, c);
    return out;
}

void WritePackage(const fs::path& outFile, const PackageHeaderInfo& header, const std::vector<Tile>& tiles)
{
    MapPackageWriter writer(outFile, header, static_cast<std::uint32_t>(tiles.size()));
    for (const Tile& t : tiles)
        writer.AddTile(t.x, t.y, t.level,
                       std::span(reinterpret_cast<const std::uint8_t*>(t.data.data()), t.data.size()));
    writer.Finish();
}

/// p.qvm / p.qvo, the same under upper-case names with no lower-case twin,
/// and a package of no tiles.
void WriteInputs(const fs::path& dir)
{
    WritePackage(dir / "p.qvm", kHeader, kTiles);
    fs::copy_file(dir / "p.qvm", dir / "UP.QVM");
    fs::copy_file(dir / "p.qvo", dir / "OUT.QVO");
    WritePackage(dir / "empty.qvm", {55.5, 37.25, 9}, {});
}

Files FilesBelow(const fs::path& root)
{
    Files files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[e.path().lexically_relative(root).string()] = test::ReadFile(e.path());
    return files;
}

// ---- importing -----------------------------------------------------------

struct ImportCase {
    const char* name;
    const char* chosen;
    std::int32_t layer;
    const char* fileRead;
    PackageLayout layout;
    Files files;  // the whole cache afterwards
    double centreLat;
    double centreLon;
    std::int32_t startLevel;
};

const ImportCase kImportCases[] = {
    {"internal_map_into_layer_1", "p.qvm", 1, "p.qvm", PackageLayout::Internal, LayerFiles("SUR"), kCentreLat,
     kCentreLon, 7},
    {"external_map_into_layer_2", "p.qvo", 2, "p.qvo", PackageLayout::External, LayerFiles("MAP"), kCentreLat,
     kCentreLon, 7},
    {"any_other_name_reads_the_external_map", "p.map", 1, "p.qvo", PackageLayout::External, LayerFiles("SUR"),
     kCentreLat, kCentreLon, 7},
    {"qvm_in_upper_case", "UP.QVM", 1, "UP.QVM", PackageLayout::Internal, LayerFiles("SUR"), kCentreLat, kCentreLon, 7},
    {"qvo_in_upper_case_read_as_named", "OUT.QVO", 2, "OUT.QVO", PackageLayout::External, LayerFiles("MAP"),
     kCentreLat, kCentreLon, 7},
    {"package_of_no_tiles_writes_nothing", "empty.qvm", 2, "empty.qvm", PackageLayout::Internal, {}, 55.5, 37.25, 9},
};

class ImportTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportTest, CopiesEveryTileIntoTheLayer)
{
    const ImportCase& row = GetParam();
    test::TempDir dir;
    WriteInputs(dir.Path());
    const fs::path cache = dir / "cache";

    const ImportResult r = ImportPackage(dir / row.chosen, row.layer, cache);

    EXPECT_EQ(r.file, dir / row.fileRead);
    EXPECT_EQ(r.layout, row.layout);
    EXPECT_EQ(r.tilesWritten, row.files.size());
    EXPECT_EQ(FilesBelow(cache), row.files);
    EXPECT_DOUBLE_EQ(r.centreLat, row.centreLat);
    EXPECT_DOUBLE_EQ(r.centreLon, row.centreLon);
    EXPECT_EQ(r.startLevel, row.startLevel);
    if (row.files.empty()) {
        EXPECT_FALSE(fs::exists(cache));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ImportTest, ::testing::ValuesIn(kImportCases), test::CaseName{});

TEST(ImportPackage, TwiceLeavesTheSameFilesAndKeepsOtherTiles)
{
    test::TempDir dir;
    WriteInputs(dir.Path());
    const fs::path cache = dir / "cache";
    test::WriteFile(cache / "MP/SUR/03/tst.png", "an older tile");
    test::WriteFile(cache / "MP/SUR/07/tqqqqqq.png", "a tile the package does not cover");
    Files expected = LayerFiles("SUR");
    expected["MP/SUR/07/tqqqqqq.png"] = "a tile the package does not cover";

    ImportPackage(dir / "p.qvm", 1, cache);
    EXPECT_EQ(FilesBelow(cache), expected);
    ImportPackage(dir / "p.qvo", 1, cache);
    EXPECT_EQ(FilesBelow(cache), expected);
}

// ---- failures ----------------------------------------------------------------

struct FailureCase {
    const char* name;
    const char* chosen;
    std::string bytes;       // written to `chosen` when not empty
    const char* blocked;     // a folder in the way of this tile file below the cache; nullptr for none
    const char* error;       // exact; "@" is the test folder
    Files files;             // the cache afterwards
};

const FailureCase kFailureCases[] = {
    {"missing_package", "missing.qvm", "", nullptr,
     "Cannot open file \"@/missing.qvm\": No such file or directory\n"
     "The import stopped before any tile was copied into the tile cache.",
     {}},
    {"truncated_package", "bad.qvm", Header(2) + Record(1, 1, 2, 3) + "abc", nullptr,
     "Malformed map package \"@/bad.qvm\": tile record 2 of 2 runs past the end of the file "
     "(it would end at byte 46, the file has 29 bytes).\n"
     "The import stopped before any tile was copied into the tile cache.",
     {}},
    {"level_below_1", "bad.qvm", Header(2) + Record(1, 1, 2, 1) + "a" + Record(0, 0, 0, 1) + "b", nullptr,
     "Malformed map package \"@/bad.qvm\": tile record 2 has level 0; tile levels run from 1 to 32.\n"
     "The import stopped before any tile was copied into the tile cache.",
     {}},
    {"level_above_32", "bad.qvo", Header(1) + Record(0, 0, 33, 1) + Be32(0) + "a", nullptr,
     "Malformed map package \"@/bad.qvo\": index entry 1 has level 33; tile levels run from 1 to 32.\n"
     "The import stopped before any tile was copied into the tile cache.",
     {}},
    {"tile_file_cannot_be_written", "p.qvm", "", "MP/SUR/03/tst.png",
     "Cannot write file \"@/cache/MP/SUR/03/tst.png\": Is a directory\n"
     "The import stopped after 1 of 4 tiles were copied into the tile cache; the copied tiles stay there.",
     {{"MP/SUR/01/t.png", kTiles[0].data}}},
};

class ImportFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ImportFailureTest, SaysHowManyTilesWereCopied)
{
    const FailureCase& row = GetParam();
    test::TempDir dir;
    WriteInputs(dir.Path());
    const fs::path cache = dir / "cache";
    if (!row.bytes.empty()) test::WriteFile(dir / row.chosen, row.bytes);
    if (row.blocked != nullptr) fs::create_directories(cache / row.blocked);

    std::string error = "(no error)";
    try {
        ImportPackage(dir / row.chosen, 1, cache);
    } catch (const Error& e) {
        error = e.what();
    }

    EXPECT_EQ(error, InDir(row.error, dir.Path()));
    EXPECT_EQ(FilesBelow(cache), row.files);
}

INSTANTIATE_TEST_SUITE_P(Rows, ImportFailureTest, ::testing::ValuesIn(kFailureCases), test::CaseName{});

} // namespace
} // namespace orvane::conversion
