// A GeoTIFF converted end to end: the pipeline turns it into a calibration
// file, decodes the TIFF, and must write the very package that an
// OziExplorer map of the same image and corners gives.

#include "conversion/MakeMap.hpp"
#include "conversion/MapFixture.hpp"
#include "conversion/MapPackage.hpp"
#include "geotiff/ExportGeoTiffCalibration.hpp"
#include "geotiff/GeoTiffFixture.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace orvane::geotiff {
namespace {

namespace fs = std::filesystem;
using conversion::MapPackageReader;
using conversion::PackageLayout;

constexpr const char* kLibrary = ORVANE_QVEGEOTIFF_LIBRARY;

class DatumProgress : public conversion::ConversionProgress {
public:
    void Datum(std::string_view caption) override { datum = caption; }
    std::string datum;
};

enum class Projection { Wgs84, Pulkovo1942, WebMercator };

struct ConversionCase {
    const char* name;
    Projection projection;
    const char* fileName;
    const char* datum;  // as the pipeline reports it
};

const ConversionCase kCases[] = {
    {"Wgs84Mercator", Projection::Wgs84, "sheet.tif", "WGS84"},
    {"Pulkovo1942Mercator", Projection::Pulkovo1942, "sheet.tif", "Pulkovo 1942"},
    {"WebMercator", Projection::WebMercator, "sheet.tif", "WGS84"},
    {"UpperCaseExtension", Projection::Wgs84, "SHEET.TIF", "WGS84"},
};

/// A GeoTIFF of the fixture map's image whose corners are the fixture
/// map's corners in the chosen projection.
test::GeoTiffSheet GeoTiffOf(const test::MapSheet& map, Projection projection)
{
    const test::MapFrame frame = test::FrameOf(map);
    const bool krassovsky = projection == Projection::Pulkovo1942;
    const double a = krassovsky ? test::kKrassovskyA : test::kWgs84A;
    const double b = krassovsky ? test::kKrassovskyB : test::kWgs84B;
    auto northing = [&](double lat) {
        return projection == Projection::WebMercator ? test::WebMercatorNorthing(lat) : test::MercatorNorthing(lat, a, b);
    };
    test::GeoTiffSheet tiff;
    tiff.width = map.width;
    tiff.height = map.height;
    tiff.paint = map.paint;
    tiff.originX = test::MercatorEasting(frame.west, a);
    tiff.originY = northing(frame.north);
    tiff.scaleX = (test::MercatorEasting(frame.east, a) - tiff.originX) / map.width;
    tiff.scaleY = (tiff.originY - northing(frame.south)) / map.height;
    if (projection == Projection::WebMercator) {
        tiff.keys.pcs = 3857;
    } else {
        tiff.keys = test::UserMercator(krassovsky ? 4284 : 4326);
    }
    return tiff;
}

conversion::MakeMapResult Convert(const fs::path& source, const fs::path& out, DatumProgress& progress)
{
    conversion::MakeMapRequest request;
    request.inFile = source;
    request.outFile = out;
    request.geoTiffExporter = [](const fs::path& tif) {
        return ExportGeoTiffCalibration(tif, LibraryComponentFactory(kLibrary));
    };
    conversion::ConversionSettings settings;
    settings.levelCount = 2;
    settings.png = true;
    settings.ignoreBorder = false;
    return conversion::MakeMap(request, settings, progress);
}

class GeoTiffConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(GeoTiffConversion, GivesThePackageOfTheSameMapAsOziExplorerMap)
{
    const ConversionCase& row = GetParam();
    test::TempDir dir;
    test::MapSheet map;  // 1200 x 900 pixels at 7000 px/deg around Moscow
    if (row.projection == Projection::Pulkovo1942)
        map.datumLine = "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84";
    const fs::path ozi = test::WriteMap(dir / "ozi", "sheet", map);
    const fs::path tif = dir / "geotiff" / row.fileName;
    fs::create_directories(tif.parent_path());
    WriteGeoTiff(tif, GeoTiffOf(map, row.projection));

    DatumProgress fromOzi, fromTiff;
    const auto expected = Convert(ozi, dir / "ozi" / "out.qvm", fromOzi);
    const auto actual = Convert(tif, dir / "geotiff" / "out.qvm", fromTiff);
    EXPECT_TRUE(fs::exists(CalibrationFileName(tif)));

    EXPECT_EQ(fromTiff.datum, row.datum);
    EXPECT_EQ(actual.baseLevel, expected.baseLevel);
    EXPECT_EQ(actual.lowLevel, expected.lowLevel);
    const MapPackageReader want(dir / "ozi" / "out.qvm", PackageLayout::Internal);
    const MapPackageReader got(dir / "geotiff" / "out.qvm", PackageLayout::Internal);
    EXPECT_EQ(got.Header(), want.Header());
    ASSERT_EQ(got.Tiles().size(), want.Tiles().size());
    ASSERT_GT(got.Tiles().size(), 4u);
    for (std::size_t i = 0; i < got.Tiles().size(); ++i) {
        const auto& g = got.Tiles()[i];
        const auto& w = want.Tiles()[i];
        EXPECT_TRUE(g.x == w.x && g.y == w.y && g.level == w.level) << "tile " << i;
        EXPECT_TRUE(got.ReadTileData(i) == want.ReadTileData(i)) << "tile " << i << " differs";
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, GeoTiffConversion, ::testing::ValuesIn(kCases), test::CaseName{});

} // namespace
} // namespace orvane::geotiff
