// The calibration file written for a GeoTIFF: its layout, its corner
// figures, its name, and every outcome of the export, on the real component
// and, for the component's failure codes, on a scripted one.

#include "geotiff/ExportGeoTiffCalibration.hpp"

#include "conversion/TOziCalibration.hpp"
#include "geotiff/GeoTiffFixture.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"
#include "util/TextCodec.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace orvane::geotiff {
namespace {

namespace fs = std::filesystem;
using test::GeoTiffSheet;
using test::TempDir;

constexpr const char* kLibrary = ORVANE_QVEGEOTIFF_LIBRARY;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

fs::path Export(const fs::path& tif)
{
    return ExportGeoTiffCalibration(tif, LibraryComponentFactory(kLibrary));
}

double Field(const std::string& line, std::size_t n)
{
    return std::stod(conversion::SplitFields(line).at(n));
}

TEST(CalibrationFile, HasTheFixedLayout)
{
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.width = 640;
    sheet.height = 480;
    sheet.keys = test::UserMercator(4326);
    const fs::path tif = dir / "area.tif";
    WriteGeoTiff(tif, sheet);
    const fs::path map = Export(tif);
    ASSERT_EQ(map, dir / "area_QV.MAP");
    const std::string text = test::ReadFile(map);
    const std::vector<std::string> l = Lines(text);
    ASSERT_EQ(l.size(), 56u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    const std::pair<std::size_t, std::string> fixed[] = {
        {1, "OziExplorer Map Data File Version 2.2"},
        {2, "area.tif"},
        {3, tif.string()},
        {4, "1 ,Map Code,"},
        {5, "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84"},
        {6, "Reserved 1"},
        {7, "Reserved 2"},
        {8, "Magnetic Variation,,,E"},
        {9, "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No"},
        {14, "Point05,xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,           ,           ,N"},
        {18, "Point09,xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,           ,           ,N"},
        {19, "Point10,xy,     ,     ,in, deg,    ,        ,,    ,        ,, grid,   ,           ,           ,"},
        {39, "Point30,xy,     ,     ,in, deg,    ,        ,,    ,        ,, grid,   ,           ,           ,"},
        {40, "Projection Setup,,,,,,,,,,"},
        {41, "Map Feature = MF ; Map Comment = MC     These follow if they exist"},
        {42, "Track File = TF      These follow if they exist "},
        {43, "Moving Map Parameters = MM?    These follow if they exist "},
        {44, "MM0,Yes "},
        {45, "MMPNUM,4 "},
        {46, "MMPXY,1,0,0  "},
        {47, "MMPXY,2,640,0"},
        {48, "MMPXY,3,640,480"},
        {49, "MMPXY,4,0,480"},
        {54, "MM1B,6.360068 "},
        {55, "MOP,Map Open Position,0,0  "},
        {56, "IWH,Map Image Width/Height,640,480 "},
    };
    for (const auto& [n, expected] : fixed) EXPECT_EQ(l[n - 1], expected) << "line " << n;
    for (std::size_t n = 14; n <= 39; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "Point%02zu", n - 9);
        EXPECT_EQ(l[n - 1].substr(0, 7), number) << "line " << n;
        EXPECT_EQ(l[n - 1].substr(7), (n <= 18 ? l[13] : l[18]).substr(7)) << "line " << n;
    }
    // Corners 1..4 at (0,0), (w,0), (w,h), (0,h), labelled Point01..Point04.
    const int xs[] = {0, 640, 640, 0};
    const int ys[] = {0, 0, 480, 480};
    for (int k = 0; k < 4; ++k) {
        const std::string& point = l[static_cast<std::size_t>(9 + k)];
        EXPECT_EQ(point.substr(0, 7), "Point0" + std::to_string(k + 1));
        EXPECT_EQ(static_cast<int>(Field(point, 2)), xs[k]);
        EXPECT_EQ(static_cast<int>(Field(point, 3)), ys[k]);
        EXPECT_EQ(l[static_cast<std::size_t>(49 + k)].substr(0, 10), "MMPLL," + std::to_string(k + 1) + ",  ");
    }
    // The reader of calibration files takes it as it is.
    conversion::TOziCalibration calibration;
    calibration.LoadFromFile(map);
    calibration.CheckProjection();
    calibration.CheckDatum();
    EXPECT_EQ(calibration.PointCount(), 4u);
    EXPECT_EQ(calibration.FindImage(dir.Path()), tif);
}

// Corner figures: the documented example to the digit, the signs of the
// other hemispheres, Pulkovo 1942 on Krassovsky's ellipsoid and the web
// Mercator on its sphere. Expected degrees come from forward formulas in
// the fixture, independent of the export's inverse.
struct CornerCase {
    const char* name;
    test::GeoKeys keys;
    double originX, originY;
    const char* datumLine;
    const char* point01;  // exact line, or nullptr
    const char* mmpll1;   // exact line, or nullptr
    double lat, lon;      // degrees of corner 1
    double tolerance;     // of the point line's degrees
};

test::GeoKeys Web3857()
{
    test::GeoKeys k;
    k.pcs = 3857;
    return k;
}

const double kLat = 55.123456789;
const double kLon = 37.987654321;

const CornerCase kCornerCases[] = {
    {"DocumentedExample", test::UserMercator(4326), 3000000, 7000000, "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Point01,xy,    0,    0,in, deg,  53, 16.57872,N,  26,      56.96751,E, grid,   ,           ,           ,N",
     "MMPLL,1,  26.949459,  53.276312", 53.276312, 26.949459, 0.6e-6},
    {"SouthAndWest", test::UserMercator(4326), -3000000, -7000000, "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     "Point01,xy,    0,    0,in, deg,  53, 16.57872,S,  26,      56.96751,W, grid,   ,           ,           ,N",
     "MMPLL,1,  -26.949459,  -53.276312", -53.276312, -26.949459, 0.6e-6},
    {"Pulkovo1942OnKrassovsky", test::UserMercator(4284), test::MercatorEasting(kLon, test::kKrassovskyA),
     test::MercatorNorthing(kLat, test::kKrassovskyA, test::kKrassovskyB),
     "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84", nullptr, nullptr, kLat, kLon, 1e-7},
    {"Wgs84OnItsEllipsoid", test::UserMercator(4326), test::MercatorEasting(kLon, test::kWgs84A),
     test::MercatorNorthing(kLat, test::kWgs84A, test::kWgs84B), "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84", nullptr,
     nullptr, kLat, kLon, 1e-7},
    {"WebMercatorOnItsSphere", Web3857(), test::MercatorEasting(kLon, test::kWgs84A), test::WebMercatorNorthing(kLat),
     "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84", nullptr, nullptr, kLat, kLon, 1e-7},
};

class CornerFigures : public ::testing::TestWithParam<CornerCase> {};

TEST_P(CornerFigures, MatchTheProjection)
{
    const CornerCase& row = GetParam();
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.keys = row.keys;
    sheet.originX = row.originX;
    sheet.originY = row.originY;
    WriteGeoTiff(dir / "m.tif", sheet);
    const std::vector<std::string> l = Lines(test::ReadFile(Export(dir / "m.tif")));
    ASSERT_EQ(l.size(), 56u);
    EXPECT_EQ(l[4], row.datumLine);
    if (row.point01 != nullptr) {
        EXPECT_EQ(l[9], row.point01);
    }
    if (row.mmpll1 != nullptr) {
        EXPECT_EQ(l[49], row.mmpll1);
    }
    // MMPLL: longitude then latitude, six decimals.
    EXPECT_NEAR(Field(l[49], 2), row.lon, 0.6e-6);
    EXPECT_NEAR(Field(l[49], 3), row.lat, 0.6e-6);
    // Point line: degrees, minutes with five decimals, hemisphere.
    const auto f = conversion::SplitFields(l[9]);
    const double lat = (std::stod(f.at(6)) + std::stod(f.at(7)) / 60) * (f.at(8) == "S" ? -1 : 1);
    const double lon = (std::stod(f.at(9)) + std::stod(f.at(10)) / 60) * (f.at(11) == "W" ? -1 : 1);
    EXPECT_NEAR(lat, row.lat, row.tolerance);
    EXPECT_NEAR(lon, row.lon, row.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Corners, CornerFigures, ::testing::ValuesIn(kCornerCases), test::CaseName{});

struct NameCase {
    const char* name;
    const char* tif;
    const char* map;
};

const NameCase kNames[] = {
    {"Plain", "maps/area.tif", "maps/area_QV.MAP"},
    {"TwoDots", "maps/area.old.tif", "maps/area.old_QV.MAP"},
    {"UpperCase", "AREA.TIF", "AREA_QV.MAP"},
    {"NoExtension", "maps/area", "maps/area_QV.MAP"},
    {"DotInFolderOnly", "maps.v2/area", "maps.v2/area_QV.MAP"},
    {"TrailingDot", "area.", "area_QV.MAP"},
};

class CalibrationFileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CalibrationFileNames, ReplaceTheLastExtension)
{
    EXPECT_EQ(CalibrationFileName(GetParam().tif), fs::path(GetParam().map));
}

INSTANTIATE_TEST_SUITE_P(Names, CalibrationFileNames, ::testing::ValuesIn(kNames), test::CaseName{});

TEST(CalibrationFile, ReplacesAnExistingFile)
{
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.keys = test::UserMercator(4326);
    WriteGeoTiff(dir / "area.tif", sheet);
    test::WriteFile(dir / "area_QV.MAP", std::string(10000, 'x'));
    const std::vector<std::string> l = Lines(test::ReadFile(Export(dir / "area.tif")));
    EXPECT_EQ(l.size(), 56u);
    EXPECT_EQ(l[0], "OziExplorer Map Data File Version 2.2");
}

TEST(CalibrationFile, NamesTheImageInTheSingleByteCodePage)
{
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.keys = test::UserMercator(4326);
    const std::string name = "карта.tif";
    WriteGeoTiff(dir / name, sheet);
    const fs::path map = Export(dir / name);
    EXPECT_EQ(map, dir / "карта_QV.MAP");
    const std::vector<std::string> l = Lines(test::ReadFile(map));
    ASSERT_EQ(l.size(), 56u);
    EXPECT_EQ(l[1], Utf8ToCp1251(name).value());
    conversion::TOziCalibration calibration;
    calibration.LoadFromFile(map);
    EXPECT_EQ(calibration.ImageBareName(), name);
    EXPECT_EQ(calibration.FindImage(dir.Path()), dir / name);
}

// Outcomes on the real component: refused files write nothing.
struct RefusalCase {
    const char* name;
    std::optional<GeoTiffSheet> tiff;  // none: no file
    const char* message;
};

GeoTiffSheet WithKeys(test::GeoKeys keys, bool writeKeys = true)
{
    GeoTiffSheet s;
    s.keys = keys;
    s.writeKeys = writeKeys;
    return s;
}

GeoTiffSheet InfiniteScale()
{
    GeoTiffSheet s;
    s.keys = test::UserMercator(4326);
    s.scaleX = HUGE_VAL;
    return s;
}

test::GeoKeys TransverseMercator()
{
    test::GeoKeys k = test::UserMercator(4326);
    k.coordTrans = 1;
    return k;
}

test::GeoKeys GeographicWgs84()
{
    test::GeoKeys k;
    k.model = 2;
    k.gcs = 4326;
    return k;
}

constexpr const char* kWrongProjection =
    "TIFF wrong projection or datum! Projection must be Mercator and datum must be WGS84 or Pulkovo 1942!!!";

const RefusalCase kRefusals[] = {
    {"MissingFile", std::nullopt, "Can't open TIFF!"},
    {"PlainTiff", WithKeys({}, false), kWrongProjection},
    {"GeographicWgs84", WithKeys(GeographicWgs84()), kWrongProjection},
    {"OtherDatum", WithKeys(test::UserMercator(4267)), kWrongProjection},
    {"TransverseMercator", WithKeys(TransverseMercator()), kWrongProjection},
    {"InfinitePixelScale", InfiniteScale(), "TIFF georeferencing does not place the image corners on the Earth!"},
};

class ExportRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ExportRefusals, RaiseTheMessageAndWriteNothing)
{
    const RefusalCase& row = GetParam();
    TempDir dir;
    if (row.tiff) WriteGeoTiff(dir / "m.tif", *row.tiff);
    try {
        Export(dir / "m.tif");
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), row.message);
    }
    EXPECT_FALSE(fs::exists(dir / "m_QV.MAP"));
}

INSTANTIATE_TEST_SUITE_P(Files, ExportRefusals, ::testing::ValuesIn(kRefusals), test::CaseName{});

TEST(ExportLibrary, ALibraryThatCannotLoadGivesTheLoadMessageAndTheLoadersReason)
{
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.keys = test::UserMercator(4326);
    WriteGeoTiff(dir / "m.tif", sheet);
    const fs::path missing = dir / "nowhere" / "libqvegeotiff.so";
    test::WriteFile(dir / "broken" / "libqvegeotiff.so", "not a library");
    for (const fs::path& library : {missing, dir / "broken" / "libqvegeotiff.so"}) {
        try {
            ExportGeoTiffCalibration(dir / "m.tif", LibraryComponentFactory(library));
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.substr(0, what.find('\n')), "Error on library load! Please, run register.bat before use!");
            EXPECT_NE(what.find(library.string()), std::string::npos) << what;  // dlerror names the file
        }
    }
    EXPECT_FALSE(fs::exists(dir / "m_QV.MAP"));
}

// A scripted component: answers as told, fails with a code at a named step,
// and records Close calls and its release.
struct Script {
    bool opens = true;
    bool compatible = true;
    std::string failAt;  // method name
    ComResult code = 0;
    int closes = 0;
    bool released = false;
};

class ScriptedComponent final : public ICQVEGeoTIFF {
public:
    explicit ScriptedComponent(Script& s) : m_s(s) {}
    ~ScriptedComponent() override { m_s.released = true; }
    ComResult OpenTIFF(const std::string&, bool& res) override
    {
        res = m_s.opens;
        return Result("OpenTIFF");
    }
    ComResult getSize(std::int32_t& w, std::int32_t& h) override
    {
        w = 100;
        h = 50;
        return Result("getSize");
    }
    ComResult Close() override
    {
        ++m_s.closes;
        return Result("Close");
    }
    ComResult getProjectedXY(double& x, double& y) override
    {
        x *= 1000;
        y *= -1000;
        return Result("getProjectedXY");
    }
    ComResult isOrvaneCompatible(bool& res) override
    {
        res = m_s.compatible;
        return Result("isOrvaneCompatible");
    }
    ComResult isPulkovo1942(bool& res) override
    {
        res = false;
        return Result("isPulkovo1942");
    }
    ComResult isWebMercator(bool& res) override
    {
        res = false;
        return Result("isWebMercator");
    }

private:
    ComResult Result(const char* method) const { return m_s.failAt == method ? m_s.code : kS_OK; }
    Script& m_s;
};

struct ScriptCase {
    const char* name;
    Script script;
    const char* message;  // nullptr: success
    int closes;
    bool written;
};

Script FailsAt(const char* method, ComResult code)
{
    Script s;
    s.failAt = method;
    s.code = code;
    return s;
}

Script Answers(bool opens, bool compatible)
{
    Script s;
    s.opens = opens;
    s.compatible = compatible;
    return s;
}

constexpr ComResult kOutOfMemory = static_cast<ComResult>(0x8007000Eu);
constexpr ComResult kUnspecified = static_cast<ComResult>(0x80004005u);

const ScriptCase kScripts[] = {
    {"Success", {}, nullptr, 1, true},
    {"OpenFails", FailsAt("OpenTIFF", kOutOfMemory),
     "Not enough memory resources are available to complete this operation.", 0, false},
    {"OpenSaysFalse", Answers(false, true), "Can't open TIFF!", 0, false},
    {"Incompatible", Answers(true, false), kWrongProjection, 1, false},
    {"CompatibilityFails", FailsAt("isOrvaneCompatible", kUnspecified), "OLE error 80004005", 1,
     false},
    {"SizeFails", FailsAt("getSize", kUnspecified), "OLE error 80004005", 1, false},
    {"ProjectionFails", FailsAt("getProjectedXY", kUnspecified), "OLE error 80004005", 1, false},
    {"CloseFailsAtTheEnd", FailsAt("Close", kUnspecified), "OLE error 80004005", 1, true},
};

class ExportOutcomes : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ExportOutcomes, CloseAndReleaseOnEveryPath)
{
    const ScriptCase& row = GetParam();
    TempDir dir;
    Script script = row.script;
    const ComponentFactory factory = [&script] { return std::make_unique<ScriptedComponent>(script); };
    std::string message;
    try {
        EXPECT_EQ(ExportGeoTiffCalibration(dir / "m.tif", factory), dir / "m_QV.MAP");
    } catch (const Error& e) {
        message = e.what();
    }
    EXPECT_EQ(message, row.message ? row.message : "");
    EXPECT_EQ(script.closes, row.closes);
    EXPECT_TRUE(script.released);
    EXPECT_EQ(fs::exists(dir / "m_QV.MAP"), row.written);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ExportOutcomes, ::testing::ValuesIn(kScripts), test::CaseName{});

TEST(ExportOutcomes, AnUnwritableCalibrationFileGivesTheFileSystemsErrorAndCloses)
{
    TempDir dir;
    fs::create_directories(dir / "m_QV.MAP");  // a folder takes the name
    Script script;
    const ComponentFactory factory = [&script] { return std::make_unique<ScriptedComponent>(script); };
    try {
        ExportGeoTiffCalibration(dir / "m.tif", factory);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + (dir / "m_QV.MAP").string() + "\": Is a directory");
    }
    EXPECT_EQ(script.closes, 1);
    EXPECT_TRUE(script.released);
}

} // namespace
} // namespace orvane::geotiff
