#include "conversion/MapFixture.hpp"

#include "image/ImageCodecs.hpp"
#include "support/TempDir.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

namespace orvane::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Merc(double lat) { return std::log(std::tan(kPi / 4 + lat * kPi / 360)); }
double InvMerc(double m) { return (2 * std::atan(std::exp(m)) - kPi / 2) * 180 / kPi; }

std::string PointLine(int k, int x, int y, double lat, double lon)
{
    auto dm = [](double v, int& d, double& m) {
        const double a = std::fabs(v);
        d = static_cast<int>(a);
        m = (a - d) * 60;
    };
    int ld = 0, od = 0;
    double lm = 0, om = 0;
    dm(lat, ld, lm);
    dm(lon, od, om);
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Point%02d,xy,    %d,    %d,in, deg,  %d, %.7f,%s,  %d,      %.7f,%s, grid,   ,           ,"
                  "           ,N",
                  k, x, y, ld, lm, lat >= 0 ? "N" : "S", od, om, lon >= 0 ? "E" : "W");
    return buf;
}

} // namespace

double MapFrame::LatOfRow(double row) const
{
    return InvMerc(mercTop - row * kPi / 180 / ppd);
}

double MapFrame::LonOfColumn(double column) const
{
    return west + column / ppd;
}

MapFrame FrameOf(const MapSheet& sheet)
{
    MapFrame f;
    f.ppd = sheet.ppd;
    f.mercTop = Merc(sheet.centreLat) + sheet.height / 2.0 * kPi / 180 / sheet.ppd;
    f.west = sheet.centreLon - sheet.width / 2.0 / sheet.ppd;
    f.east = sheet.centreLon + sheet.width / 2.0 / sheet.ppd;
    f.north = f.LatOfRow(0);
    f.south = f.LatOfRow(sheet.height);
    return f;
}

std::string MapText(const MapSheet& sheet)
{
    const MapFrame f = FrameOf(sheet);
    std::vector<std::string> lines = {"OziExplorer Map Data File Version 2.2", sheet.imageName, sheet.imageName,
                                      "1 ,Map Code,", sheet.datumLine, "Reserved 1", "Reserved 2",
                                      "Magnetic Variation,,,E", sheet.projectionLine};
    lines.push_back(PointLine(1, 0, 0, f.north, f.west));
    lines.push_back(PointLine(2, sheet.width, 0, f.north, f.east));
    lines.push_back(PointLine(3, sheet.width, sheet.height, f.south, f.east));
    lines.push_back(PointLine(4, 0, sheet.height, f.south, f.west));
    for (int k = 5; k <= 30; ++k) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "Point%02d,xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,           ,"
                      "           ,N",
                      k);
        lines.push_back(buf);
    }
    lines.push_back("Projection Setup,,,,,,,,,,");
    lines.push_back("Map Feature = MF ; Map Comment = MC     These follow if they exist");
    lines.push_back("IWH,Map Image Width/Height," + std::to_string(sheet.width) + "," + std::to_string(sheet.height));
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

void PaintPattern(image::RgbImage& img)
{
    for (std::int32_t y = 0; y < img.Height(); ++y) {
        std::uint8_t* row = img.Row(y);
        for (std::int32_t x = 0; x < img.Width(); ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>(40 + (x * 7 + y * 3) % 200);
            row[3 * x + 1] = static_cast<std::uint8_t>(40 + (x / 3 + y * 5) % 200);
            row[3 * x + 2] = static_cast<std::uint8_t>(40 + ((x ^ y) & 0x7F));
        }
    }
}

std::filesystem::path WriteMap(const std::filesystem::path& dir, const std::string& stem, const MapSheet& sheet)
{
    image::RgbImage img(sheet.width, sheet.height);
    if (sheet.paint) sheet.paint(img);
    else PaintPattern(img);
    const bool jpeg = sheet.imageName.size() > 4 && sheet.imageName.substr(sheet.imageName.size() - 4) == ".jpg";
    const std::vector<std::uint8_t> bytes =
        jpeg ? image::EncodeJpeg(img.Data(), img.Width(), img.Height(), 90)
             : image::EncodePng(img.Data(), img.Width(), img.Height());
    WriteFile(dir / sheet.imageName, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const auto mapPath = dir / (stem + ".map");
    WriteFile(mapPath, MapText(sheet));
    return mapPath;
}

} // namespace orvane::test
