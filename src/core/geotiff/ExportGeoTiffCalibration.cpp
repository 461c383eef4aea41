#include "geotiff/ExportGeoTiffCalibration.hpp"

#include "geo/MercUtil.hpp"
#include "geotiff/QveGeoTiffLibrary.hpp"
#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"
#include "util/NumberText.hpp"
#include "util/TextCodec.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace orvane::geotiff {

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kWebMercatorRadius = 6378137.0;

constexpr const char* kLineEnd = "\r\n";

std::string Degrees(double value)
{
    return std::to_string(static_cast<long long>(std::trunc(std::fabs(value))));
}

std::string Minutes(double value)
{
    const double a = std::fabs(value);
    return FormatFixed((a - std::trunc(a)) * 60, 5);
}

/// Text for the file: CP1251 when every character has a place there.
std::string InCodePage(const std::string& text)
{
    if (auto converted = Utf8ToCp1251(text)) return *converted;
    return text;
}

void Check(ComResult result)
{
    if (result < 0) throw Error(msg::ComponentResultText(result));
}

void WriteTextFile(const fs::path& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(errno)));
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int writeError = errno;
    const bool closed = std::fclose(f) == 0;
    const int closeError = errno;
    if (!written) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(writeError)));
    if (!closed) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(closeError)));
}

/// Degrees the file can show: finite, and small enough for whole degrees
/// to be a number.
bool Usable(const CalibrationCorner& corner)
{
    return std::fabs(corner.lon) <= 1e9 && std::fabs(corner.lat) <= 1e9;  // false for NaN
}

/// Calls Close on the component when the export leaves early.
class CloseGuard {
public:
    explicit CloseGuard(ICQVEGeoTIFF& component) : m_component(component) {}
    ~CloseGuard()
    {
        if (m_armed) m_component.Close();
    }
    CloseGuard(const CloseGuard&) = delete;
    CloseGuard& operator=(const CloseGuard&) = delete;
    void Disarm() { m_armed = false; }

private:
    ICQVEGeoTIFF& m_component;
    bool m_armed = true;
};

} // namespace

std::string CalibrationPointLine(int k, const CalibrationCorner& corner)
{
    std::string line = "Point0" + std::to_string(k) + ",xy,    " + std::to_string(corner.x) + ",    " +
                       std::to_string(corner.y) + ",in, deg,  ";
    line += Degrees(corner.lat) + ", " + Minutes(corner.lat) + "," + (corner.lat >= 0 ? "N" : "S");
    line += ",  ";
    line += Degrees(corner.lon) + ",      " + Minutes(corner.lon) + "," + (corner.lon >= 0 ? "E" : "W");
    line += ", grid,   ,           ,           ,N";
    return line;
}

std::string CalibrationText(const GeoTiffCalibration& c)
{
    std::string text;
    auto add = [&text](const std::string& line) {
        text += line;
        text += kLineEnd;
    };
    const std::string w = std::to_string(c.width);
    const std::string h = std::to_string(c.height);
    add("OziExplorer Map Data File Version 2.2");
    add(c.imageName);
    add(c.imagePath);
    add("1 ,Map Code,");
    add(c.pulkovo ? "Pulkovo 1942 (2),WGS 84,   0.0000,   0.0000,WGS 84" : "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84");
    add("Reserved 1");
    add("Reserved 2");
    add("Magnetic Variation,,,E");
    add("Map Projection,Mercator,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
    for (int k = 1; k <= 4; ++k) add(CalibrationPointLine(k, c.corners[static_cast<std::size_t>(k - 1)]));
    for (int k = 5; k <= 30; ++k) {
        char line[128];
        std::snprintf(line, sizeof line, "Point%02d,xy,     ,     ,in, deg,    ,        ,%s,    ,        ,%s, grid,   ,"
                                         "           ,           ,%s",
                      k, k <= 9 ? "N" : "", k <= 9 ? "W" : "", k <= 9 ? "N" : "");
        add(line);
    }
    add("Projection Setup,,,,,,,,,,");
    add("Map Feature = MF ; Map Comment = MC     These follow if they exist");
    add("Track File = TF      These follow if they exist ");
    add("Moving Map Parameters = MM?    These follow if they exist ");
    add("MM0,Yes ");
    add("MMPNUM,4 ");
    add("MMPXY,1,0,0  ");
    add("MMPXY,2," + w + ",0");
    add("MMPXY,3," + w + "," + h);
    add("MMPXY,4,0," + h);
    for (int k = 1; k <= 4; ++k) {
        const CalibrationCorner& corner = c.corners[static_cast<std::size_t>(k - 1)];
        add("MMPLL," + std::to_string(k) + ",  " + FormatFixed(corner.lon, 6) + ",  " + FormatFixed(corner.lat, 6));
    }
    add("MM1B,6.360068 ");
    add("MOP,Map Open Position,0,0  ");
    add("IWH,Map Image Width/Height," + w + "," + h + " ");
    return text;
}

fs::path CalibrationFileName(const fs::path& tiffPath)
{
    std::string name = tiffPath.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return tiffPath.parent_path() / (name + "_QV.MAP");
}

void WebMercatorXYToLatLon(double x, double y, double& lon, double& lat)
{
    lon = x / kWebMercatorRadius * 180 / kPi;
    lat = (2 * std::atan(std::exp(y / kWebMercatorRadius)) - kPi / 2) * 180 / kPi;
}

ComponentFactory LibraryComponentFactory(fs::path library)
{
    return [library = std::move(library)] { return CreateCQVEGeoTIFF(library); };
}

fs::path ExportGeoTiffCalibration(const fs::path& tiffPath, const ComponentFactory& create)
{
    const std::unique_ptr<ICQVEGeoTIFF> component = create();
    bool opened = false;
    Check(component->OpenTIFF(tiffPath.string(), opened));
    if (!opened) throw Error(std::string(msg::kCantOpenTiff));

    CloseGuard guard(*component);
    bool compatible = false;
    Check(component->isOrvaneCompatible(compatible));
    if (!compatible) throw Error(std::string(msg::kTiffWrongProjection));
    bool pulkovo = false;
    Check(component->isPulkovo1942(pulkovo));
    bool web = false;
    Check(component->isWebMercator(web));
    if (web) pulkovo = false;  // the web Mercator's degrees are WGS 84
    GeoTiffCalibration calibration;
    calibration.pulkovo = pulkovo;
    Check(component->getSize(calibration.width, calibration.height));

    const std::int32_t w = calibration.width;
    const std::int32_t h = calibration.height;
    const std::array<std::array<std::int32_t, 2>, 4> positions{{{0, 0}, {w, 0}, {w, h}, {0, h}}};
    for (std::size_t k = 0; k < positions.size(); ++k) {
        CalibrationCorner& corner = calibration.corners[k];
        corner.x = positions[k][0];
        corner.y = positions[k][1];
        double easting = corner.x, northing = corner.y;
        Check(component->getProjectedXY(easting, northing));
        if (web)
            WebMercatorXYToLatLon(easting, northing, corner.lon, corner.lat);
        else
            geo::MercatorXYToLatLon(easting, northing, pulkovo ? geo::kEllipsoidKrassovsky1940 : geo::kEllipsoidWgs84,
                                    corner.lon, corner.lat);
        if (!Usable(corner)) throw Error(std::string(msg::kTiffCornersUnusable));
    }

    calibration.imageName = InCodePage(tiffPath.filename().string());
    std::error_code ec;
    const fs::path full = fs::absolute(tiffPath, ec);
    calibration.imagePath = InCodePage((ec ? tiffPath : full).string());

    const fs::path mapPath = CalibrationFileName(tiffPath);
    WriteTextFile(mapPath, CalibrationText(calibration));
    guard.Disarm();
    Check(component->Close());
    return mapPath;
}

fs::path ExportGeoTiffCalibration(const fs::path& tiffPath)
{
    return ExportGeoTiffCalibration(tiffPath, LibraryComponentFactory());
}

std::function<fs::path(const fs::path&)> DefaultGeoTiffExporter()
{
    return [](const fs::path& tiffPath) { return ExportGeoTiffCalibration(tiffPath); };
}

} // namespace orvane::geotiff
