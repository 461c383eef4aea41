// The component's answers, through the same run-time binding the program
// uses, on GeoTIFFs made in code.

#include "geotiff/GeoTiffFixture.hpp"
#include "geotiff/QveGeoTiffLibrary.hpp"
#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include "qvegeotiff.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <optional>

namespace orvane::geotiff {
namespace {

namespace fs = std::filesystem;
using test::GeoKeys;
using test::GeoTiffSheet;
using test::TempDir;

constexpr const char* kLibrary = ORVANE_QVEGEOTIFF_LIBRARY;
constexpr std::int32_t kUntouched = -7;

GeoKeys Geographic(int gcs)
{
    GeoKeys k;
    k.model = 2;
    k.gcs = gcs;
    return k;
}

GeoKeys Epsg(int pcs)
{
    GeoKeys k;
    k.pcs = pcs;
    return k;
}

GeoKeys Modified(GeoKeys k, void (*change)(GeoKeys&))
{
    change(k);
    return k;
}

struct AnswerCase {
    const char* name;
    GeoKeys keys;
    bool compatible;
    bool pulkovo;
    bool web;
};

// Rows from the acceptance rule: a plain Mercator on WGS 84 or Pulkovo 1942,
// or the spherical web Mercator; everything else is refused, and the
// Pulkovo answer follows the geographic system alone.
const AnswerCase kAnswers[] = {
    {"Wgs84Mercator", test::UserMercator(4326), true, false, false},
    {"Pulkovo1942Mercator", test::UserMercator(4284), true, true, false},
    {"WorldMercator3395", Epsg(3395), true, false, false},
    {"GeographicWgs84", Geographic(4326), false, false, false},
    {"GeographicPulkovo1942", Geographic(4284), false, true, false},
    {"Nad27Mercator", test::UserMercator(4267), false, false, false},
    {"TransverseMercatorWgs84",
     Modified(test::UserMercator(4326), [](GeoKeys& k) { k.coordTrans = 1; }), false, false, false},
    {"TransverseMercatorPulkovo",
     Modified(test::UserMercator(4284), [](GeoKeys& k) { k.coordTrans = 1; }), false, true, false},
    {"UtmZone35North", Epsg(32635), false, false, false},
    {"MercatorCentralMeridian27",
     Modified(test::UserMercator(4326), [](GeoKeys& k) { k.centralMeridian = 27; }), false, false, false},
    {"MercatorScaleNotOne",
     Modified(test::UserMercator(4326), [](GeoKeys& k) { k.scale = 0.9996; }), false, false, false},
    {"MercatorFalseEasting",
     Modified(test::UserMercator(4326), [](GeoKeys& k) { k.falseEasting = 500000; }), false, false, false},
    {"MercatorFalseNorthing",
     Modified(test::UserMercator(4284), [](GeoKeys& k) { k.falseNorthing = -1; }), false, true, false},
    {"MercatorInFeet",
     Modified(test::UserMercator(4326), [](GeoKeys& k) { k.linearUnit = 9002; }), false, false, false},
    {"WebMercator3857", Epsg(3857), true, false, true},
    {"PopularVisualisation3785", Epsg(3785), true, false, true},
    {"MercatorOnWebSphere",
     Modified(test::UserMercator(0), [](GeoKeys& k) { k.sphere = 6378137; }), true, false, true},
    {"MercatorOnOtherSphere",
     Modified(test::UserMercator(0), [](GeoKeys& k) { k.sphere = 6371000; }), false, false, false},
    {"UnknownCodes", Modified(Epsg(1234), [](GeoKeys& k) { k.gcs = 9999; }), false, false, false},
};

class ComponentAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ComponentAnswers, FollowTheAcceptanceRule)
{
    const AnswerCase& row = GetParam();
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.width = 40;
    sheet.height = 30;
    sheet.keys = row.keys;
    WriteGeoTiff(dir / "map.tif", sheet);

    const auto c = CreateCQVEGeoTIFF(kLibrary);
    ::testing::internal::CaptureStderr();
    bool opened = false, compatible = true, pulkovo = true, web = true;
    std::int32_t w = kUntouched, h = kUntouched;
    EXPECT_EQ(c->OpenTIFF((dir / "map.tif").string(), opened), kS_OK);
    EXPECT_EQ(c->isOrvaneCompatible(compatible), kS_OK);
    EXPECT_EQ(c->isPulkovo1942(pulkovo), kS_OK);
    EXPECT_EQ(c->isWebMercator(web), kS_OK);
    EXPECT_EQ(c->getSize(w, h), kS_OK);
    EXPECT_EQ(c->Close(), kS_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // the libraries stay quiet

    EXPECT_TRUE(opened);
    EXPECT_EQ(compatible, row.compatible);
    EXPECT_EQ(pulkovo, row.pulkovo);
    EXPECT_EQ(web, row.web);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
}

INSTANTIATE_TEST_SUITE_P(Keys, ComponentAnswers, ::testing::ValuesIn(kAnswers), test::CaseName{});

// Files the component cannot read as GeoTIFFs: every answer is false and
// every output stays as the caller set it, on an object that then holds no
// file (missing, not a TIFF) or a file without georeferencing.
struct UnreadableCase {
    const char* name;
    std::optional<GeoTiffSheet> tiff;  // none: write `bytes` instead
    const char* bytes;
    bool opens;
};

GeoTiffSheet PlainTiff()
{
    GeoTiffSheet s;
    s.writeKeys = false;
    return s;
}

const UnreadableCase kUnreadable[] = {
    {"MissingFile", std::nullopt, nullptr, false},
    {"NotATiff", std::nullopt, "OziExplorer Map Data File Version 2.2\r\n", false},
    {"TruncatedTiffHeader", std::nullopt, "II*", false},
    {"PlainTiffWithoutKeys", PlainTiff(), nullptr, true},
};

class UnreadableFiles : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(UnreadableFiles, AnswerFalseAndLeaveOutputsAlone)
{
    const UnreadableCase& row = GetParam();
    TempDir dir;
    const fs::path file = dir / "map.tif";
    if (row.tiff) WriteGeoTiff(file, *row.tiff);
    if (row.bytes != nullptr) test::WriteFile(file, row.bytes);

    const auto c = CreateCQVEGeoTIFF(kLibrary);
    ::testing::internal::CaptureStderr();
    bool opened = !row.opens, compatible = true, pulkovo = true, web = true;
    std::int32_t w = kUntouched, h = kUntouched;
    double x = 12.5, y = -3.25;
    EXPECT_EQ(c->OpenTIFF(file.string(), opened), kS_OK);
    EXPECT_EQ(c->isOrvaneCompatible(compatible), kS_OK);
    EXPECT_EQ(c->isPulkovo1942(pulkovo), kS_OK);
    EXPECT_EQ(c->isWebMercator(web), kS_OK);
    EXPECT_EQ(c->getSize(w, h), kS_OK);
    EXPECT_EQ(c->getProjectedXY(x, y), kS_OK);
    EXPECT_EQ(c->Close(), kS_OK);
    EXPECT_EQ(c->Close(), kS_OK);  // closing a closed object does nothing
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    EXPECT_EQ(opened, row.opens);
    EXPECT_FALSE(compatible);
    EXPECT_FALSE(pulkovo);
    EXPECT_FALSE(web);
    EXPECT_EQ(w, kUntouched);
    EXPECT_EQ(h, kUntouched);
    EXPECT_EQ(x, 12.5);
    EXPECT_EQ(y, -3.25);
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableFiles, ::testing::ValuesIn(kUnreadable), test::CaseName{});

// Image positions are pixel edges: (0, 0) is the upper-left corner of the
// image and (w, h) its lower-right corner, also when the file ties its
// coordinates to pixel centres.
struct CornerCase {
    const char* name;
    int rasterType;
    double imageX, imageY;
    double easting, northing;
};

const CornerCase kCorners[] = {
    {"AreaUpperLeft", 1, 0, 0, 3000000, 7000000},
    {"AreaLowerRight", 1, 40, 30, 3000000 + 40 * 25.0, 7000000 - 30 * 50.0},
    {"AreaInside", 1, 10.5, 3, 3000000 + 10.5 * 25, 7000000 - 3 * 50.0},
    {"PointUpperLeft", 2, 0, 0, 3000000 - 12.5, 7000000 + 25},
    {"PointLowerRight", 2, 40, 30, 3000000 + 39.5 * 25, 7000000 - 29.5 * 50},
};

class ProjectedCorners : public ::testing::TestWithParam<CornerCase> {};

TEST_P(ProjectedCorners, AreImagePositionsInTheFilesMetres)
{
    const CornerCase& row = GetParam();
    TempDir dir;
    GeoTiffSheet sheet;
    sheet.width = 40;
    sheet.height = 30;
    sheet.scaleX = 25;
    sheet.scaleY = 50;
    sheet.keys = test::UserMercator(4326);
    sheet.keys.rasterType = row.rasterType;
    WriteGeoTiff(dir / "map.tif", sheet);
    const auto c = CreateCQVEGeoTIFF(kLibrary);
    bool opened = false;
    ASSERT_EQ(c->OpenTIFF((dir / "map.tif").string(), opened), kS_OK);
    ASSERT_TRUE(opened);
    double x = row.imageX, y = row.imageY;
    EXPECT_EQ(c->getProjectedXY(x, y), kS_OK);
    EXPECT_DOUBLE_EQ(x, row.easting);
    EXPECT_DOUBLE_EQ(y, row.northing);
    c->Close();
}

INSTANTIATE_TEST_SUITE_P(Positions, ProjectedCorners, ::testing::ValuesIn(kCorners), test::CaseName{});

TEST(ComponentLifecycle, OpeningAnotherFileReplacesTheFirst)
{
    TempDir dir;
    GeoTiffSheet wgs;
    wgs.keys = test::UserMercator(4326);
    GeoTiffSheet pulkovo;
    pulkovo.keys = test::UserMercator(4284);
    pulkovo.width = 20;
    WriteGeoTiff(dir / "wgs.tif", wgs);
    WriteGeoTiff(dir / "pulkovo.tif", pulkovo);
    const auto c = CreateCQVEGeoTIFF(kLibrary);
    bool opened = false, isPulkovo = false;
    ASSERT_EQ(c->OpenTIFF((dir / "wgs.tif").string(), opened), kS_OK);
    ASSERT_EQ(c->OpenTIFF((dir / "pulkovo.tif").string(), opened), kS_OK);
    ASSERT_TRUE(opened);
    c->isPulkovo1942(isPulkovo);
    EXPECT_TRUE(isPulkovo);
    // A failed open leaves the object closed, not on the earlier file.
    ASSERT_EQ(c->OpenTIFF((dir / "missing.tif").string(), opened), kS_OK);
    EXPECT_FALSE(opened);
    c->isPulkovo1942(isPulkovo);
    EXPECT_FALSE(isPulkovo);
    // Released without Close: the sanitizer build shows a leak if the file stays open.
    ASSERT_EQ(c->OpenTIFF((dir / "wgs.tif").string(), opened), kS_OK);
}

// The C entry points themselves: the factory's class check and null pointers.
class ComponentEntryPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
    }
    template <class F>
    F Entry(const char* name)
    {
        return reinterpret_cast<F>(dlsym(m_library, name));
    }
    void* m_library = nullptr;  // stays loaded, as in the program
};

TEST_F(ComponentEntryPoints, FactoryMakesOnlyItsClass)
{
    const auto create = Entry<decltype(&qvegeotiff_create)>("qvegeotiff_create");
    const auto release = Entry<decltype(&qvegeotiff_release)>("qvegeotiff_release");
    ASSERT_NE(create, nullptr);
    ASSERT_NE(release, nullptr);
    qvegeotiff_object* object = reinterpret_cast<qvegeotiff_object*>(&object);
    EXPECT_EQ(create("{3CC21172-2ECB-46BD-9391-2A3CBC6921B6}", &object), QVEGEOTIFF_CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(create(nullptr, &object), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(create(QVEGEOTIFF_CLSID, nullptr), QVEGEOTIFF_E_POINTER);
    ASSERT_EQ(create("{d812b6fa-8ec2-44e2-8fc6-528efe8f9370}", &object), QVEGEOTIFF_S_OK);  // any letter case
    ASSERT_NE(object, nullptr);
    release(object);
}

TEST_F(ComponentEntryPoints, NullArgumentsAreRefused)
{
    const auto create = Entry<decltype(&qvegeotiff_create)>("qvegeotiff_create");
    const auto release = Entry<decltype(&qvegeotiff_release)>("qvegeotiff_release");
    const auto open = Entry<decltype(&qvegeotiff_OpenTIFF)>("qvegeotiff_OpenTIFF");
    const auto size = Entry<decltype(&qvegeotiff_getSize)>("qvegeotiff_getSize");
    const auto close = Entry<decltype(&qvegeotiff_Close)>("qvegeotiff_Close");
    const auto xy = Entry<decltype(&qvegeotiff_getProjectedXY)>("qvegeotiff_getProjectedXY");
    const auto compatible = Entry<decltype(&qvegeotiff_isOrvaneCompatible)>("qvegeotiff_isOrvaneCompatible");
    ASSERT_TRUE(create && release && open && size && close && xy && compatible);
    qvegeotiff_object* object = nullptr;
    ASSERT_EQ(create(QVEGEOTIFF_CLSID, &object), QVEGEOTIFF_S_OK);
    qvegeotiff_bool res = 0;
    std::int32_t n = 0;
    double d = 0;
    EXPECT_EQ(open(object, nullptr, &res), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(open(object, "x.tif", nullptr), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(size(object, &n, nullptr), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(xy(object, nullptr, &d), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(compatible(object, nullptr), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(compatible(nullptr, &res), QVEGEOTIFF_E_POINTER);
    EXPECT_EQ(close(nullptr), QVEGEOTIFF_E_POINTER);
    release(object);
    release(nullptr);
}

} // namespace
} // namespace orvane::geotiff
