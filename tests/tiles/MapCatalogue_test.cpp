#include "tiles/MapCatalogue.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace orvane::tiles {
namespace {

using orvane::test::TempDir;

TEST(BuiltInCatalogue, NineEntriesInSelectorOrder)
{
    const TMapPathNamesArray& c = BuiltInCatalogue();
    ASSERT_EQ(c.size(), 9u);
    const MapType expected[] = {5, 6, 1, 2, 21, 22, 26, 9, 10};
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(c[i].MT, expected[i]) << i;
    EXPECT_EQ(c[3].Name, "Google Map");
    EXPECT_EQ(c[7].CachePath, "MP\\SUR\\");
    EXPECT_EQ(c[8].URL, "");
    // The OpenStreetMap servers forbid bulk downloads and browser-faking agents.
    for (const std::size_t i : {4u, 5u}) {
        EXPECT_FALSE(c[i].Bulk);
        EXPECT_EQ(c[i].UserAgent, ProgramUserAgent());
    }
    EXPECT_EQ(ProgramUserAgent(), std::string("OrvaneStudio/") + ORVANE_VERSION);
    EXPECT_TRUE(c[2].Bulk);
    EXPECT_EQ(UserAgentFor(c, 1), kTileUserAgent);
}

// ---- maps.ini text ----------------------------------------------------------

struct IniCase {
    const char* name;
    std::string text;
    std::vector<TMapPathName> entries;   // empty: the text has no section
};

const IniCase kIniCases[] = {
    {"AllKeys", "[a]\nName=My map\nMT=21\nCachePath=X\\Y\\\nURL=127.0.0.1:8080/t/\n",
     {{21, "X\\Y\\", "127.0.0.1:8080/t/", "My map", "", true}}},
    {"AbsentKeysTakeDefaults", "[only]\n", {{0, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"SectionOrderKept", "[z]\nMT=2\n[a]\nMT=1\n",
     {{2, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true},
      {1, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"UserAgentAndBulk", "[osm]\nMT=21\nUserAgent=Tester/1.0 (me@example.org)\nBulk=0\n",
     {{21, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "Tester/1.0 (me@example.org)", false}}},
    {"BulkOneAndJunk", "[a]\nBulk=1\n[b]\nBulk=yes\n",
     {{0, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true},
      {0, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"MtNotAnIntegerReadsZero", "[a]\nMT=five\n", {{0, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"MtStoredAsByte", "[a]\nMT=261\n[b]\nMT=-1\n[c]\nMT=$16\n",
     {{5, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true},
      {255, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true},
      {22, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"WindowsLinesCommentsBomBlanks", "\xEF\xBB\xBF; maps\r\n[ s ]\r\n  mt = 6 \r\n# note\r\nname=N=1\r\n",
     {{6, "\\D_F\\MAP", "tile.openstreetmap.org/", "N=1", "", true}}},
    {"KeysIgnoreCaseFirstWins", "[a]\nmt=1\nMT=2\n", {{1, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"RepeatedSectionContinues", "[a]\nMT=1\n[b]\nMT=2\n[A]\nName=x\n",
     {{1, "\\D_F\\MAP", "tile.openstreetmap.org/", "x", "", true},
      {2, "\\D_F\\MAP", "tile.openstreetmap.org/", "Map Name", "", true}}},
    {"CodePage1251Name", "[a]\nName=\xCA\xE0\xF0\xF2\xE0\n",
     {{0, "\\D_F\\MAP", "tile.openstreetmap.org/", "\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0", "", true}}},
    {"LongValuesCut", "[a]\nCachePath=" + std::string(300, 'c') + "\nURL=" + std::string(300, 'u') + "\n",
     {{0, std::string(200, 'c'), std::string(250, 'u'), "Map Name", "", true}}},
    {"KeysBeforeSectionIgnored", "MT=3\n", {}},
    {"Empty", "", {}},
};

class ParseMapsIniTest : public ::testing::TestWithParam<IniCase> {};

TEST_P(ParseMapsIniTest, Entries)
{
    const IniCase& c = GetParam();
    const TMapPathNamesArray got = ParseMapsIni(c.text);
    ASSERT_EQ(got.size(), c.entries.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].MT, c.entries[i].MT);
        EXPECT_EQ(got[i].CachePath, c.entries[i].CachePath);
        EXPECT_EQ(got[i].URL, c.entries[i].URL);
        EXPECT_EQ(got[i].Name, c.entries[i].Name);
        EXPECT_EQ(got[i].UserAgent, c.entries[i].UserAgent);
        EXPECT_EQ(got[i].Bulk, c.entries[i].Bulk);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseMapsIniTest, ::testing::ValuesIn(kIniCases), orvane::test::CaseName{});

TEST(ReadMapCatalogue, FallsBackToBuiltInWithoutSections)
{
    TempDir dir;
    EXPECT_EQ(ReadMapCatalogue(dir / "missing.ini").size(), 9u);
    orvane::test::WriteFile(dir / "comments.ini", "; nothing here\n");
    EXPECT_EQ(ReadMapCatalogue(dir / "comments.ini").size(), 9u);
    EXPECT_EQ(ReadMapCatalogue(dir.Path()).size(), 9u);   // a folder, not a file
    orvane::test::WriteFile(dir / "one.ini", "[a]\nMT=2\n");
    const auto one = ReadMapCatalogue(dir / "one.ini");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].MT, 2);
}

// ---- where maps.ini is -------------------------------------------------------

struct PathCase {
    const char* name;
    MapsIniInputs in;
    const char* expected;
};

const PathCase kPathCases[] = {
    {"EnvironmentOverrides", {"/etc/m.ini", "/opt/o", true, "/x", "/home/u"}, "/etc/m.ini"},
    {"BesideTheProgram", {"", "/opt/o", true, "/x", "/home/u"}, "/opt/o/maps.ini"},
    {"XdgConfigHome", {"", "/opt/o", false, "/x", "/home/u"}, "/x/orvane/maps.ini"},
    {"RelativeXdgIgnored", {"", "/opt/o", false, "rel", "/home/u"}, "/home/u/.config/orvane/maps.ini"},
    {"HomeConfig", {"", "/opt/o", false, "", "/home/u"}, "/home/u/.config/orvane/maps.ini"},
};

class MapsIniPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(MapsIniPathTest, Resolves)
{
    EXPECT_EQ(ResolveMapsIniPath(GetParam().in), std::filesystem::path(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, MapsIniPathTest, ::testing::ValuesIn(kPathCases), orvane::test::CaseName{});

// ---- look-ups ---------------------------------------------------------------

TEST(CatalogueLookup, FirstEntryOfAMapTypeWins)
{
    const TMapPathNamesArray c = ParseMapsIni("[a]\nMT=1\nCachePath=A\\\nURL=a/\n[b]\nMT=1\nCachePath=B\\\nURL=b/\n");
    EXPECT_EQ(FindCacheFolder(c, 1), "A\\");
    EXPECT_EQ(FindUrlPrefix(c, 1), "a/");
    EXPECT_EQ(BuildTileUrl(c, 1, 0, 0, 2), "http://a/tq");
    EXPECT_EQ(FindCacheFolder(c, 2), "Unk\\");
    EXPECT_EQ(FindUrlPrefix(c, 2), "");
    EXPECT_EQ(BuildTileUrl(c, 2, 5, 9, 5), "http://5&y=9&zoom=13");
}

TEST(CatalogueLookup, SelectorIndexBeyondShorterCatalogueUsesBuiltIn)
{
    const TMapPathNamesArray c = ParseMapsIni("[a]\nMT=2\n[b]\nMT=1\n");
    ASSERT_NE(SelectorEntry(c, 1), nullptr);
    EXPECT_EQ(SelectorEntry(c, 1)->MT, 1);
    ASSERT_NE(SelectorEntry(c, 5), nullptr);
    EXPECT_EQ(SelectorEntry(c, 5)->MT, 22);
    EXPECT_EQ(SelectorEntry(c, 9), nullptr);
    EXPECT_EQ(SelectorEntry(c, -1), nullptr);
    EXPECT_EQ(SelectorEntry(BuiltInCatalogue(), 3)->MT, 2);
}

TEST(CatalogueLookup, BulkAndSourceName)
{
    const TMapPathNamesArray c = ParseMapsIni("[a]\nMT=21\nBulk=0\nName=Local OSM\n");
    EXPECT_FALSE(BulkAllowed(c, 21));
    EXPECT_TRUE(BulkAllowed(c, 22));
    EXPECT_FALSE(BulkAllowed(BuiltInCatalogue(), 22));
    EXPECT_EQ(SourceName(c, 21), "Local OSM");
    EXPECT_EQ(SourceName(c, 6), "VirtualEarth Map");
    EXPECT_EQ(SourceName(c, 13), "map type 13");
}

// ---- download addresses ------------------------------------------------------

struct UrlCase {
    const char* name;
    int mt;
    std::int32_t x, y, level;
    const char* url;
};

const UrlCase kUrlCases[] = {
    {"GoogleMap", 2, 5, 9, 5, "http://mt.google.com/mt?n=404&v=w2.76&x=5&y=9&zoom=13"},
    {"GoogleMapZoomAtLevel1", 2, 0, 0, 1, "http://mt.google.com/mt?n=404&v=w2.76&x=0&y=0&zoom=17"},
    {"GoogleMapZoomAtLevel18", 2, 3, 4, 18, "http://mt.google.com/mt?n=404&v=w2.76&x=3&y=4&zoom=0"},
    {"GoogleSurfaceByLetterKey", 1, 2, 3, 3, "http://khm.google.com/kh?v=99&n=404&t=tst"},
    {"OsmMapnik", 21, 5, 9, 5, "http://tile.openstreetmap.org/4/5/9.png"},
    {"OsmOsmrender", 22, 5, 9, 5, "http://tah.openstreetmap.org/Tiles/tile/4/5/9.png"},
    {"VirtualEarthMapDigitKey", 6, 3, 0, 3, "http://r1.ortho.tiles.virtualearth.net/tiles/r11.png?g=1"},
    {"VirtualEarthSurface", 5, 0, 3, 3, "http://h2.ortho.tiles.virtualearth.net/tiles/h22.jpg?g=1"},
    {"VirtualEarthLevel1HasNoServer", 5, 0, 0, 1, ""},
    {"GurtamMap", 26, 5, 9, 5, "http://maps.gurtam.com/map_gmaps?n=404&x=5&y=9&zoom=13"},
    {"GurtamSurfaceWithoutEntry", 25, 5, 9, 5, "http://5&y=9&z=4"},
    {"CustomNever", 9, 5, 9, 5, ""},
    {"SourceTwelveNone", 13, 5, 9, 5, ""},
    {"SourceSixteenNone", 18, 5, 9, 5, ""},
    {"KindZeroNone", 20, 5, 9, 5, ""},
    {"KindThreeNone", 3, 5, 9, 5, ""},
};

class BuildTileUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(BuildTileUrlTest, BuiltInCatalogue)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(BuildTileUrl(BuiltInCatalogue(), static_cast<MapType>(c.mt), c.x, c.y, c.level), c.url);
}

INSTANTIATE_TEST_SUITE_P(Rows, BuildTileUrlTest, ::testing::ValuesIn(kUrlCases), orvane::test::CaseName{});

} // namespace
} // namespace orvane::tiles
