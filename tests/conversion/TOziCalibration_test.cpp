#include "conversion/TOziCalibration.hpp"

#include "geo/geotrans.hpp"
#include "util/Error.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace orvane::conversion {

// Readable failure output.
void PrintTo(const TCalibrationPoint& p, std::ostream* os)
{
    *os << "{Lat " << p.Lat << ", Lon " << p.Lon << ", X " << p.X << ", Y " << p.Y << "}";
}

namespace {

template <class Row>
    requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

namespace fs = std::filesystem;

// A three-point Mercator map on WGS 84 as OziExplorer writes it, 1024 x 768
// pixels: Point01 at the centre, Point02 at the top-left corner, Point03 at
// the bottom-right corner. Line 9 is Point01, line 39 "Projection Setup".
constexpr const char* kWellFormed = R"(OziExplorer Map Data File Version 2.2
Moscow test sheet
C:\Maps\moscow.jpg
1 ,Map Code,
WGS 84,WGS 84,   0.0000,   0.0000,WGS 84
Reserved 1
Reserved 2
Magnetic Variation,,,E
Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No
Point01,xy,  512,  384,in, deg,  55, 45.5000,N,  37, 36.5000,E, grid,   ,           ,           ,N
Point02,xy,    0,    0,in, deg,  56,  0.0000,N,  37,  0.0000,E, grid,   ,           ,           ,N
Point03,xy, 1024,  768,in, deg,  55, 30.0000,N,  38, 12.0000,E, grid,   ,           ,           ,N
Point04,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point05,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point06,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point07,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point08,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point09,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point10,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point11,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point12,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point13,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point14,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point15,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point16,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point17,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point18,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point19,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point20,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point21,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point22,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point23,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point24,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point25,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point26,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point27,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point28,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point29,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Point30,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N
Projection Setup,,,,,,,,,,
Map Feature = MF ; Map Comment = MC     These follow if they exist
Track File = TF      These follow if they exist
Moving Map Parameters = MM?    These follow if they exist
MM0,Yes
MMPNUM,3
MMPXY,1,512,384
MMPXY,2,0,0
MMPXY,3,1024,768
MMPLL,1,  37.608333,  55.758333
MMPLL,2,  37.000000,  56.000000
MMPLL,3,  38.200000,  55.500000
MOP,Map Open Position,0,0
IWH,Map Image Width/Height,1024,768)";

constexpr const char* kSource = "test.map";

std::vector<std::string> FixtureLines()
{
    std::vector<std::string> lines;
    std::string text = kWellFormed;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
    std::string out;
    for (const auto& line : lines) out += line + eol;
    return out;
}

/// The fixture with some lines replaced (by 0-based index), CR LF line ends.
std::string MapWith(const std::map<std::size_t, std::string>& replaced)
{
    auto lines = FixtureLines();
    for (const auto& [index, text] : replaced) lines.at(index) = text;
    return Join(lines);
}

struct Pt {
    double lat;
    double lon;
    int x;
    int y;
};

/// A point line as OziExplorer writes it: whole degrees and minutes.
std::string PointLine(int k, const Pt& p)
{
    auto dm = [](double v, int& deg) {
        const double a = std::fabs(v);
        deg = static_cast<int>(a);
        return (a - deg) * 60;
    };
    int latDeg = 0;
    int lonDeg = 0;
    const double latMin = dm(p.lat, latDeg);
    const double lonMin = dm(p.lon, lonDeg);
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "Point%02d,xy, %4d, %4d,in, deg, %3d, %7.4f,%c, %3d, %7.4f,%c, grid,   ,           ,           ,N", k,
                  p.x, p.y, latDeg, latMin, p.lat < 0 ? 'S' : 'N', lonDeg, lonMin, p.lon < 0 ? 'W' : 'E');
    return buf;
}

/// The fixture with its three points replaced by `points` (at most 30).
std::string MapWithPoints(const std::vector<Pt>& points)
{
    auto lines = FixtureLines();
    const std::string unused = lines[12];  // Point04, blank
    for (int k = 0; k < 3; ++k) lines[static_cast<std::size_t>(9 + k)] = unused;
    for (std::size_t i = 0; i < points.size(); ++i) lines[9 + i] = PointLine(static_cast<int>(i + 1), points[i]);
    return Join(lines);
}

/// The documented projection and datum refusals.
std::string WrongProjection(const std::string& f)
{
    return "Wrong map projection:" + f + "\r\n Must be Mercator!\r\n\r\nКарта недоспустимой проекции:" + f +
           "\r\n Должна быть проекции Меркатора!";
}
std::string UnknownDatum(const std::string& f)
{
    return "Unknown datum: " + f + "\r\nMust be WGS 84 or Pulkovo 1942 (2)!\r\n\r\nНеизвестная система координат: " +
           f + "\r\nДолжна быть WGS 84 или Pulkovo 1942 (2)!";
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// ---- field splitting --------------------------------------------------------

struct SplitCase {
    const char* name;
    std::string line;
    std::vector<std::string> fields;
};

const SplitCase kSplitCases[] = {
    {"projection_line",
     "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No",
     {"Map", "Projection", "Mercator", "PolyCal", "No", "AutoCalOnly", "No", "BSBUseWPX", "No"}},
    {"datum_wgs84",
     "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84",
     {"WGS", "84", "WGS", "84", "0.0000", "0.0000", "WGS", "84"}},
    {"datum_pulkovo",
     "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84",
     {"Pulkovo", "1942", "(2)", "WGS", "84", "0.0000", "0.0000", "WGS", "84"}},
    {"point_line_17_fields",
     "Point01,xy,  512,  384,in, deg,  55, 45.5000,N,  37, 36.5000,E, grid,   ,           ,           ,N",
     {"Point01", "xy", "512", "384", "in", "deg", "55", "45.5000", "N", "37", "36.5000", "E", "grid", "", "", "",
      "N"}},
    {"blank_point_line",
     "Point03,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, grid,   ,           ,           ,N",
     {"Point03", "xy", "", "", "in", "deg", "", "", "N", "", "", "E", "grid", "", "", "", "N"}},
    {"final_comma_adds_empty_field", "Point02,xy,    0,    0,in, deg, -3579, -8.3648,N, -3579,",
     {"Point02", "xy", "0", "0", "in", "deg", "-3579", "-8.3648", "N", "-3579", ""}},
    {"comma_then_blank_at_end_adds_nothing", "a, ", {"a"}},
    {"leading_blanks_and_tabs_skipped", " \t a,b", {"a", "b"}},
    {"only_commas", ",,", {"", "", ""}},
    {"quoted_field_keeps_blanks_and_commas", R"("C:\My Maps\a, b.jpg",x)", {R"(C:\My Maps\a, b.jpg)", "x"}},
    {"doubled_quote_is_one_quote", R"("say ""hi""" , next)", {R"(say "hi")", "next"}},
    {"unclosed_quote_runs_to_end", R"("open, end)", {"open, end"}},
    {"nul_ends_the_text", std::string("a,b\0,c", 7), {"a", "b"}},
    {"empty_line", "", {}},
    {"blank_line", "   ", {}},
};

class SplitFieldsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldsTest, Splits)
{
    EXPECT_EQ(SplitFields(GetParam().line), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitFieldsTest, ::testing::ValuesIn(kSplitCases), test::CaseName{});

struct LinesCase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

const LinesCase kLinesCases[] = {
    {"crlf", "a\r\nb\r\n", {"a", "b"}},
    {"lf", "a\nb", {"a", "b"}},
    {"cr", "a\rb\r", {"a", "b"}},
    {"lf_cr_is_two_ends", "a\n\rb", {"a", "", "b"}},
    {"empty_lines_kept", "a\r\n\r\nb\r\n", {"a", "", "b"}},
    {"empty_text", "", {}},
};

class SplitLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(SplitLinesTest, Splits)
{
    EXPECT_EQ(SplitLines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitLinesTest, ::testing::ValuesIn(kLinesCases), test::CaseName{});

// ---- the well-formed file ---------------------------------------------------

TEST(TOziCalibration, ReadsWellFormedMap)
{
    TOziCalibration c;
    c.LoadFromText(MapWith({}), kSource);
    c.CheckProjection();
    c.CheckDatum();
    EXPECT_EQ(c.DatumCaption(), "WGS84");
    EXPECT_EQ(c.ImagePath(), R"(C:\Maps\moscow.jpg)");
    EXPECT_EQ(c.ImageBareName(), "moscow.jpg");
    ASSERT_EQ(c.PointCount(), 3u);
    EXPECT_EQ(c.GetPoint(0), (TCalibrationPoint{55.0 + 45.5 / 60, 37.0 + 36.5 / 60, 512, 384}));
    EXPECT_EQ(c.GetPoint(1), (TCalibrationPoint{56.0, 37.0, 0, 0}));
    EXPECT_EQ(c.GetPoint(2), (TCalibrationPoint{55.5, 38.0 + 12.0 / 60, 1024, 768}));
    EXPECT_THROW(c.GetPoint(3), std::out_of_range);
    // Widest longitude pair: Point02/Point03, 1024 px over 1.2 degrees;
    // widest latitude pair: the same points, 768 px over 0.5 degrees.
    EXPECT_DOUBLE_EQ(c.LonScale(), 1024 / (38.0 + 12.0 / 60 - 37.0));
    EXPECT_DOUBLE_EQ(c.LatScale(), 768 / 0.5);
    c.SetImageSize(1024, 768);
    EXPECT_EQ(c.ReferencePoint(), c.GetPoint(0));
}

struct LoadCase {
    const char* name;
    std::string text;
    std::string error;  // empty: loads with the fixture's three points
};

std::vector<LoadCase> LoadCases()
{
    auto lines = FixtureLines();
    const std::vector<std::string> first40(lines.begin(), lines.begin() + 40);
    const std::vector<std::string> first39(lines.begin(), lines.begin() + 39);
    return {
        {"crlf", Join(lines), ""},
        {"lf", Join(lines, "\n"), ""},
        {"cr", Join(lines, "\r"), ""},
        {"exactly_40_lines", Join(first40), ""},
        {"39_lines",
         Join(first39),
         "The map file test.map has 39 lines; an OziExplorer map file has at least 40 (header, datum, projection and "
         "30 calibration point lines)."},
        {"empty",
         "",
         "The map file test.map has 0 lines; an OziExplorer map file has at least 40 (header, datum, projection and "
         "30 calibration point lines)."},
    };
}

class LoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, LoadsOrRefuses)
{
    const auto& row = GetParam();
    TOziCalibration c;
    const std::string error = ErrorOf([&] {
        c.LoadFromText(row.text, kSource);
        c.CheckProjection();
        c.CheckDatum();
    });
    EXPECT_EQ(error, row.error);
    if (row.error.empty()) {
        ASSERT_EQ(c.PointCount(), 3u);
        EXPECT_EQ(c.GetPoint(2).X, 1024);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LoadTest, ::testing::ValuesIn(LoadCases()), test::CaseName{});

// ---- projection and datum ---------------------------------------------------

struct CheckCase {
    const char* name;
    std::string datumLine;
    std::string projectionLine;
    std::string error;    // empty: accepted
    std::string caption;  // when accepted
};

const std::string kMercator = "Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No";
const std::string kWgs84 = "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84";

const CheckCase kCheckCases[] = {
    {"wgs84", kWgs84, kMercator, "", "WGS84"},
    {"pulkovo_1942_2", "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84", kMercator, "", "Pulkovo 1942"},
    {"pulkovo_1942_1", "Pulkovo 1942 (1),WGS 84,   0.0000,   0.0000,WGS 84", kMercator, "", "Pulkovo 1942"},
    {"wgs72_taken_as_wgs84", "WGS 72,WGS 72,   0.0000,   0.0000,WGS 72", kMercator, "", "WGS84"},
    {"tokyo_refused",
     "Tokyo,Bessel 1841,   0.0000,   0.0000,WGS 84",
     kMercator,
     "Unknown datum: Tokyo\r\nMust be WGS 84 or Pulkovo 1942 (2)!\r\n\r\nНеизвестная система координат: Tokyo\r\n"
     "Должна быть WGS 84 или Pulkovo 1942 (2)!",
     ""},
    {"nad27_refused", "NAD27 Central,WGS 84,   0.0000,   0.0000,WGS 84", kMercator, UnknownDatum("NAD27"), ""},
    {"empty_datum_line_refused", "", kMercator, UnknownDatum(""), ""},
    {"transverse_mercator_refused",
     kWgs84,
     "Map Projection,Transverse Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No",
     "Wrong map projection:Transverse\r\n Must be Mercator!\r\n\r\nКарта недоспустимой проекции:Transverse\r\n"
     " Должна быть проекции Меркатора!",
     ""},
    {"letter_case_counts",
     kWgs84,
     "Map Projection,MERCATOR,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No",
     WrongProjection("MERCATOR"),
     ""},
    {"projection_checked_before_datum",
     "Tokyo,Bessel 1841,   0.0000,   0.0000,WGS 84",
     "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No",
     WrongProjection("Latitude/Longitude"),
     ""},
};

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, AcceptsOrRefuses)
{
    const auto& row = GetParam();
    TOziCalibration c;
    c.LoadFromText(MapWith({{4, row.datumLine}, {8, row.projectionLine}}), kSource);
    const std::string error = ErrorOf([&] {
        c.CheckProjection();
        c.CheckDatum();
    });
    EXPECT_EQ(error, row.error);
    if (row.error.empty()) {
        EXPECT_EQ(c.DatumCaption(), row.caption);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckTest, ::testing::ValuesIn(kCheckCases), test::CaseName{});

TEST(TOziCalibration, PulkovoPointsAreShiftedBeforeScales)
{
    TOziCalibration c;
    c.LoadFromText(MapWith({{4, "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84"}}), kSource);
    c.CheckProjection();
    c.CheckDatum();
    EXPECT_TRUE(c.PulkovoDatum());
    ASSERT_EQ(c.PointCount(), 3u);
    // Both coordinates are computed from the Pulkovo values.
    const std::vector<Pt> pulkovo = {{55.0 + 45.5 / 60, 37.0 + 36.5 / 60, 512, 384}, {56, 37, 0, 0}, {55.5, 38.0 + 12.0 / 60, 1024, 768}};
    std::vector<TCalibrationPoint> wgs;
    for (const auto& p : pulkovo)
        wgs.push_back({geo::PulkovoToWgsLat(p.lat, p.lon, 0), geo::PulkovoToWgsLon(p.lat, p.lon, 0), p.x, p.y});
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(c.GetPoint(i), wgs[i]) << "point " << i;
    // The shift is real, so the scales below can tell shifted from unshifted points.
    EXPECT_GT(std::fabs(wgs[1].Lon - 37.0), 1e-4);
    EXPECT_DOUBLE_EQ(c.LonScale(), 1024 / std::fabs(wgs[1].Lon - wgs[2].Lon));
    EXPECT_DOUBLE_EQ(c.LatScale(), 768 / std::fabs(wgs[1].Lat - wgs[2].Lat));
}

// ---- point lines ------------------------------------------------------------

struct PointLinesCase {
    const char* name;
    std::map<std::size_t, std::string> lines;  // replaced, by 0-based index
    std::vector<TCalibrationPoint> points;     // expected usable points
    std::string error;                         // or the failure
};

const TCalibrationPoint kP1{55.0 + 45.5 / 60, 37.0 + 36.5 / 60, 512, 384};
const TCalibrationPoint kP2{56.0, 37.0, 0, 0};
const TCalibrationPoint kP3{55.5, 38.0 + 12.0 / 60, 1024, 768};

const PointLinesCase kPointLinesCases[] = {
    {"blank_row_not_counted",
     {{10, "Point02,xy,    0,     ,in, deg,  56,  0.0000,N,  37,  0.0000,E, grid,   ,           ,           ,N"}},
     {kP1, kP3},
     ""},
    {"not_in_not_counted",
     {{10, "Point02,xy,    0,    0,ex, deg,  56,  0.0000,N,  37,  0.0000,E, grid,   ,           ,           ,N"}},
     {kP1, kP3},
     ""},
    {"minutes_added_to_degrees",
     {{9, "Point01,xy,  512,  384,in, deg,  55, 30.0000,N,  37, 36.5000,E, grid,   ,           ,           ,N"}},
     {{55.5, kP1.Lon, 512, 384}, kP2, kP3},
     ""},
    {"lower_case_s_negates",
     {{9, "Point01,xy,  512,  384,in, deg,  55, 30.0000,s,  37, 36.5000,E, grid,   ,           ,           ,N"}},
     {{-55.5, kP1.Lon, 512, 384}, kP2, kP3},
     ""},
    {"lower_case_w_negates",
     {{9, "Point01,xy,  512,  384,in, deg,  55, 45.5000,N,  37, 36.5000,w, grid,   ,           ,           ,N"}},
     {{kP1.Lat, -kP1.Lon, 512, 384}, kP2, kP3},
     ""},
    {"line_39_is_read",
     {{39, "Point31,xy,  100,  200,in, deg,  55, 54.0000,N,  37, 12.0000,E, grid,   ,           ,           ,N"}},
     {kP1, kP2, kP3, {55.9, 37.2, 100, 200}},
     ""},
    {"line_40_is_not_read",
     {{40, "Point31,xy,  100,  200,in, deg,  55, 54.0000,N,  37, 12.0000,E, grid,   ,           ,           ,N"}},
     {kP1, kP2, kP3},
     ""},
    {"short_point_line",
     {{10, "Point02,xy,    0,    0,in, deg,  56,  0.0000,N"}},
     {},
     "Calibration point line 11 of test.map has 9 fields; a calibration point needs at least 12."},
    {"minutes_not_a_number",
     {{9, "Point01,xy,  512,  384,in, deg,  55, 45.5O00,N,  37, 36.5000,E, grid,   ,           ,           ,N"}},
     {},
     "'45.5O00' is not a valid floating point value (line 10 of test.map)"},
    {"column_not_an_integer",
     {{11, "Point03,xy, 1024.5,  768,in, deg,  55, 30.0000,N,  38, 12.0000,E, grid,   ,           ,           ,N"}},
     {},
     "'1024.5' is not a valid integer value (line 12 of test.map)"},
    {"blank_degrees_of_a_usable_point",
     {{10, "Point02,xy,    0,    0,in, deg,    ,  0.0000,N,  37,  0.0000,E, grid,   ,           ,           ,N"}},
     {},
     "'' is not a valid floating point value (line 11 of test.map)"},
};

class PointLinesTest : public ::testing::TestWithParam<PointLinesCase> {};

TEST_P(PointLinesTest, ReadsUsablePoints)
{
    const auto& row = GetParam();
    TOziCalibration c;
    c.LoadFromText(MapWith(row.lines), kSource);
    c.CheckProjection();
    std::vector<TCalibrationPoint> points;
    const std::string error = ErrorOf([&] {
        c.CheckDatum();
        for (std::size_t i = 0; i < c.PointCount(); ++i) points.push_back(c.GetPoint(i));
    });
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(points, row.points);
    // A failure stays: every later use of the points reports it again.
    if (!row.error.empty()) {
        EXPECT_EQ(ErrorOf([&] { c.LonScale(); }), row.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PointLinesTest, ::testing::ValuesIn(kPointLinesCases), test::CaseName{});

// ---- scales -----------------------------------------------------------------

struct ScaleCase {
    const char* name;
    std::vector<Pt> points;
    double lonScale;  // 0: refused
    double latScale;  // 0: refused
};

const ScaleCase kScaleCases[] = {
    // Longitudes 30, 31, 32: the pair (first, third) spans most.
    {"three_longitudes_first_and_third", {{55, 30, 0, 0}, {56, 31, 100, 300}, {57, 32, 250, 400}}, 250 / 2.0, 400 / 2.0},
    // Equal spans: only a strictly wider pair replaces the first one.
    {"equal_spans_keep_first_pair", {{55, 30, 0, 0}, {55, 31, 100, 50}, {56, 30, 300, 200}}, 100 / 1.0, 200 / 1.0},
    {"single_point", {{55, 30, 0, 0}}, 0, 0},
    {"one_longitude", {{55, 30, 0, 0}, {56, 30, 100, 300}}, 0, 300 / 1.0},
    {"one_column", {{55, 30, 100, 0}, {56, 31, 100, 300}}, 0, 300 / 1.0},
    {"no_points", {}, 0, 0},
};

class ScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, UsesWidestPair)
{
    const auto& row = GetParam();
    TOziCalibration c;
    c.LoadFromText(MapWithPoints(row.points), kSource);
    c.CheckDatum();
    if (row.lonScale > 0) {
        EXPECT_DOUBLE_EQ(c.LonScale(), row.lonScale);
    } else {
        EXPECT_EQ(ErrorOf([&] { c.LonScale(); }),
                  "The calibration of test.map needs at least two calibration points with different longitudes and "
                  "different image columns.");
    }
    if (row.latScale > 0) {
        EXPECT_DOUBLE_EQ(c.LatScale(), row.latScale);
    } else {
        EXPECT_EQ(ErrorOf([&] { c.LatScale(); }),
                  "The calibration of test.map needs at least two calibration points with different latitudes and "
                  "different image rows.");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ScaleTest, ::testing::ValuesIn(kScaleCases), test::CaseName{});

// ---- reference point ----------------------------------------------------------

struct ReferenceCase {
    const char* name;
    int width;
    int height;
    std::vector<Pt> points;
    int expected;  // index, or -1: refused
};

const ReferenceCase kReferenceCases[] = {
    {"equidistant_earlier_wins", 1000, 1000, {{55, 30, 400, 500}, {56, 31, 600, 500}, {57, 32, 0, 0}}, 0},
    {"strictly_nearer_later_wins", 1000, 1000, {{55, 30, 0, 0}, {56, 31, 490, 510}, {57, 32, 1000, 1000}}, 1},
    // The centre of 1001 x 1001 is (500.5, 500.5): both points are equally near.
    {"centre_is_fractional", 1001, 1001, {{55, 30, 501, 501}, {56, 31, 500, 500}}, 0},
    {"no_points", 1000, 1000, {}, -1},
};

class ReferenceTest : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(ReferenceTest, NearestToCentre)
{
    const auto& row = GetParam();
    TOziCalibration c;
    c.LoadFromText(MapWithPoints(row.points), kSource);
    c.CheckDatum();
    c.SetImageSize(row.width, row.height);
    if (row.expected >= 0) {
        EXPECT_EQ(c.ReferencePoint(), c.GetPoint(static_cast<std::size_t>(row.expected)));
    } else {
        EXPECT_EQ(ErrorOf([&] { c.ReferencePoint(); }),
                  "The calibration of test.map has no usable calibration point near the image.");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReferenceTest, ::testing::ValuesIn(kReferenceCases), test::CaseName{});

// ---- vertical fit -------------------------------------------------------------

struct FitCase {
    const char* name;
    std::vector<Pt> points;
    int level;
    double s;
    double o;
    std::string error;
};

// World rows (conversion variant, truncated): latitude 55.5 -> 80 at level 1,
// 41138 at level 10, 1316429 at level 15; 56.0 -> 79, 40814, 1306078;
// 55.6 -> 80 at level 1, 1314369 at level 15.
// s = (768 - 0) / (R(55.5) - R(56.0)), o = 768 - s * R(55.5).
const std::vector<Pt> kFixturePoints = {{55.0 + 45.5 / 60, 37.0 + 36.5 / 60, 512, 384}, {56, 37, 0, 0}, {55.5, 38.2, 1024, 768}};

const FitCase kFitCases[] = {
    {"level_15", kFixturePoints, 15, 768.0 / 10351, 768 - 768.0 / 10351 * 1316429, ""},
    {"level_10", kFixturePoints, 10, 768.0 / 324, 768 - 768.0 / 324 * 41138, ""},
    {"level_1", kFixturePoints, 1, 768, 768 - 768.0 * 80, ""},
    // Two points on the lowest row: the first is taken.
    {"first_lowest_point_wins", {{56, 37, 0, 0}, {55.5, 38, 100, 768}, {55.4, 38, 200, 768}}, 15,
     768.0 / 10351, 768 - 768.0 / 10351 * 1316429, ""},
    {"close_latitudes_apart_at_level_15", {{55.6, 37, 0, 0}, {55.5, 38, 100, 768}}, 15, 768.0 / 2060,
     768 - 768.0 / 2060 * 1316429, ""},
    {"close_latitudes_share_a_row_at_level_1",
     {{55.6, 37, 0, 0}, {55.5, 38, 100, 768}},
     1,
     0,
     0,
     "The calibration points of test.map on image rows 0 and 768 fall on the same row of level 1; they need "
     "different latitudes to fit the image rows."},
    {"one_latitude",
     {{55.5, 37, 0, 10}, {55.5, 38, 100, 500}},
     15,
     0,
     0,
     "The calibration points of test.map on image rows 10 and 500 fall on the same row of level 15; they need "
     "different latitudes to fit the image rows."},
    {"one_row",
     {{56, 37, 0, 300}, {55.5, 38, 100, 300}},
     15,
     0,
     0,
     "The calibration of test.map needs at least two calibration points on different image rows (the lower one "
     "on a row greater than 0)."},
    // A point on row 0 or above is never the lowest.
    {"no_point_below_row_0",
     {{56, 37, 0, 0}, {56.5, 38, 100, -20}},
     15,
     0,
     0,
     "The calibration of test.map needs at least two calibration points on different image rows (the lower one "
     "on a row greater than 0)."},
};

class VerticalFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(VerticalFitTest, FitsLowestAndHighestPoint)
{
    const auto& row = GetParam();
    TOziCalibration c;
    c.LoadFromText(MapWithPoints(row.points), kSource);
    c.CheckDatum();
    if (!row.error.empty()) {
        EXPECT_EQ(ErrorOf([&] { c.VerticalFit(row.level); }), row.error);
        return;
    }
    const RowFit fit = c.VerticalFit(row.level);
    EXPECT_NEAR(fit.s, row.s, 1e-12 * std::fabs(row.s));
    EXPECT_NEAR(fit.o, row.o, 1e-9 * std::fabs(row.o));
}

INSTANTIATE_TEST_SUITE_P(Rows, VerticalFitTest, ::testing::ValuesIn(kFitCases), test::CaseName{});

// ---- image lookup -------------------------------------------------------------

struct ImageCase {
    const char* name;
    std::string imageLine;           // "{dir}" stands for the temporary folder
    std::vector<std::string> files;  // created below it; a final '/' makes a folder
    std::string searchDir;           // below it
    std::string found;               // expected path below it, or
    std::string error;               // the failure
    std::string bareName;
};

// "Карта" and "Карты" in windows-1251.
const std::string kKartaCp1251 = "\xCA\xE0\xF0\xF2\xE0";
const std::string kKartyCp1251 = "\xCA\xE0\xF0\xF2\xFB";

const ImageCase kImageCases[] = {
    {"full_path_first", "{dir}/maps/a.jpg", {"maps/a.jpg", "work/a.jpg"}, "work", "maps/a.jpg", "", "a.jpg"},
    {"relative_path_from_search_dir", "sub/a.jpg", {"work/sub/a.jpg"}, "work", "work/sub/a.jpg", "", "a.jpg"},
    {"windows_path_falls_back_to_bare_name", R"(C:\Maps\a.jpg)", {"work/a.jpg"}, "work", "work/a.jpg", "", "a.jpg"},
    {"backslash_relative_path", R"(sub\a.jpg)", {"work/sub/a.jpg"}, "work", "work/sub/a.jpg", "", "a.jpg"},
    {"windows_1251_name", "D:\\" + kKartyCp1251 + "\\" + kKartaCp1251 + ".jpg", {"work/Карта.jpg"}, "work",
     "work/Карта.jpg", "", "Карта.jpg"},
    {"utf8_name", "Карта.jpg", {"work/Карта.jpg"}, "work", "work/Карта.jpg", "", "Карта.jpg"},
    {"missing", R"(C:\Maps\none.jpg)", {"work/a.jpg"}, "work", "", R"(Can' find map image: C:\Maps\none.jpg or none.jpg)",
     "none.jpg"},
    {"missing_windows_1251_shown_as_utf8", kKartaCp1251 + ".jpg", {}, "work", "",
     "Can' find map image: Карта.jpg or Карта.jpg", "Карта.jpg"},
    {"empty_line", "", {"work/"}, "work", "", "Can' find map image:  or ", ""},
    {"folder_is_not_an_image", "a.jpg", {"work/a.jpg/"}, "work", "", "Can' find map image: a.jpg or a.jpg", "a.jpg"},
};

class FindImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(FindImageTest, LooksUpImage)
{
    const auto& row = GetParam();
    test::TempDir dir;
    std::string line = row.imageLine;
    if (const auto at = line.find("{dir}"); at != std::string::npos) line.replace(at, 5, dir.Path().string());
    for (const auto& f : row.files) {
        if (f.back() == '/')
            fs::create_directories(dir / f);
        else
            test::WriteFile(dir / f, "image");
    }
    TOziCalibration c;
    c.LoadFromText(MapWith({{2, line}}), kSource);
    EXPECT_EQ(c.ImageBareName(), row.bareName);
    if (row.error.empty()) {
        EXPECT_EQ(c.FindImage(dir / row.searchDir), dir / row.found);
    } else {
        EXPECT_EQ(ErrorOf([&] { c.FindImage(dir / row.searchDir); }), row.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FindImageTest, ::testing::ValuesIn(kImageCases), test::CaseName{});

// ---- real-world files -----------------------------------------------------------

struct RealFileCase {
    const char* name;
    const char* file;
    std::string checked;    // outcome in the converter's order: "ok" or the failure
    std::string unchecked;  // points and model without the checks: "<n> points" or the failure
    std::string image;      // image lookup beside the file (no images are kept)
};

// "{file}" stands for the file's path.
const RealFileCase kRealFiles[] = {
    {"utm21_nad83", "utm21-nad83.map", WrongProjection("(UTM)"), "9 points",
     "Can' find map image: utm21-nad83.jpg or utm21-nad83.jpg"},
    {"latlon_nad27", "latlon-nad27.map", WrongProjection("Latitude/Longitude"), "9 points",
     "Can' find map image: latlon-nad27.jpg or latlon-nad27.jpg"},
    {"badgcps1", "badgcps1.map", WrongProjection("Latitude/Longitude"),
     "'' is not a valid integer value (line 13 of {file})", "Can' find map image: ../mer.jpg or mer.jpg"},
    {"badgcps2", "badgcps2.map", WrongProjection("Latitude/Longitude"),
     "Calibration point line 15 of {file} has 11 fields; a calibration point needs at least 12.",
     "Can' find map image: ../mer.jpg or mer.jpg"},
    {"noheader", "noheader.map", UnknownDatum("NAD27"), "9 points", "Can' find map image: ../mer.jpg or mer.jpg"},
    {"noimagefile1", "noimagefile1.map", UnknownDatum("NAD27"), "9 points", "Can' find map image:  or "},
    {"nodatum1", "nodatum1.map", UnknownDatum(""), "9 points", "Can' find map image: ../mer.jpg or mer.jpg"},
    {"nogcps", "nogcps.map", UnknownDatum("NAD27"),
     "The calibration of {file} needs at least two calibration points with different longitudes and different "
     "image columns.",
     "Can' find map image: ../mer.jpg or mer.jpg"},
    {"our_generator", "synth_1200x900.map", "ok", "4 points",
     "Can' find map image: synth_1200x900.jpg or synth_1200x900.jpg"},
    {"missing_file", "missing.map", "Cannot open file \"{file}\": No such file or directory",
     "Cannot open file \"{file}\": No such file or directory", ""},
};

std::string WithFile(std::string text, const std::string& file)
{
    for (std::size_t at; (at = text.find("{file}")) != std::string::npos;) text.replace(at, 6, file);
    return text;
}

class RealFileTest : public ::testing::TestWithParam<RealFileCase> {};

TEST_P(RealFileTest, GivesOutcomeOrClearError)
{
    const auto& row = GetParam();
    const fs::path path = fs::path(ORVANE_TEST_DATA) / "maps" / row.file;
    const std::string file = path.string();

    std::string outcome = "ok";
    TOziCalibration checked;
    const std::string checkedError = ErrorOf([&] {
        checked.LoadFromFile(path);
        checked.CheckProjection();
        checked.CheckDatum();
        checked.LonScale();
        checked.LatScale();
        checked.SetImageSize(1200, 900);
        checked.ReferencePoint();
        checked.VerticalFit(15);
    });
    EXPECT_EQ(checkedError.empty() ? outcome : checkedError, WithFile(row.checked, file));

    TOziCalibration unchecked;
    std::string points;
    const std::string uncheckedError = ErrorOf([&] {
        unchecked.LoadFromFile(path);
        points = std::to_string(unchecked.PointCount()) + " points";
        unchecked.LonScale();
        unchecked.LatScale();
        unchecked.VerticalFit(15);
    });
    EXPECT_EQ(uncheckedError.empty() ? points : uncheckedError, WithFile(row.unchecked, file));

    if (!row.image.empty()) {
        EXPECT_EQ(ErrorOf([&] { unchecked.FindImage(path.parent_path()); }), row.image);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, RealFileTest, ::testing::ValuesIn(kRealFiles), test::CaseName{});

TEST(TOziCalibration, GeneratorMapHasItsResolution)
{
    TOziCalibration c;
    c.LoadFromFile(fs::path(ORVANE_TEST_DATA) / "maps" / "synth_1200x900.map");
    c.CheckProjection();
    c.CheckDatum();
    // 1200 px over 0.08 degrees of longitude; 900 px over 2.0261 minutes of latitude.
    EXPECT_NEAR(c.LonScale(), 15000.0, 1e-6);
    EXPECT_NEAR(c.LatScale(), 900 * 60 / 2.0261, 1e-6);
    EXPECT_EQ(c.GetPoint(2), (TCalibrationPoint{55 + 43.98673 / 60, 37 + 38.4 / 60, 1200, 900}));
}

} // namespace
} // namespace orvane::conversion
