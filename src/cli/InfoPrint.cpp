// What orvane info prints of a package: its header and tile list, as the
// readers see them, in plain text or JSON.

#include "InfoPrint.hpp"

#include "util/NumberText.hpp"

#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

namespace orvane::cli {
namespace {

using conversion::MapPackageReader;
using conversion::PackageHeader;
using conversion::PackageLayout;

// Enough bytes to tell JPEG from PNG.
constexpr std::size_t kSignatureBytes = 8;

std::string Hex2(std::uint8_t b)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(b));
    return text;
}

/// Shortest text that reads back as the same double ("." separator).
std::string JsonNumber(double v)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return r.ec == std::errc{} ? std::string(text, r.ptr) : std::string("null");
}

std::string JsonString(std::string_view s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(u));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string CentreText(std::uint8_t degrees, std::uint8_t minutes)
{
    return FormatFixed(conversion::DecodeCentre(degrees, minutes), 6) + " (bytes " + Hex2(degrees) + " " +
           Hex2(minutes) + ": " + std::to_string(degrees) + " + " + std::to_string(minutes) + "/60)";
}

} // namespace

void PrintInfoText(const MapPackageReader& reader, std::ostream& out)
{
    const PackageHeader& h = reader.Header();
    const bool external = reader.Layout() == PackageLayout::External;
    out << "file: " << reader.File().string() << "\n"
        << "layout: " << conversion::PackageLayoutName(reader.Layout()) << "\n"
        << "centre latitude: " << CentreText(h.latDegrees, h.latMinutes) << "\n"
        << "centre longitude: " << CentreText(h.lonDegrees, h.lonMinutes) << "\n"
        << "start level: " << unsigned{h.startLevel} << "\n"
        << "tile count: " << h.tileCount << "\n";
    if (external) out << "data block start: " << reader.DataBlockStart() << "\n";
    const auto& tiles = reader.Tiles();
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const auto& t = tiles[i];
        const auto format = conversion::SniffTileFormat(reader.ReadTileHead(i, kSignatureBytes));
        out << "tile " << (i + 1) << ": x=" << t.x << " y=" << t.y << " level=" << t.level
            << " kind=" << unsigned{t.kind} << " size=" << t.size;
        if (external) out << " offset=" << t.offset;
        out << " " << conversion::TileFormatName(format) << "\n";
    }
}

void PrintInfoJson(const MapPackageReader& reader, std::ostream& out)
{
    const PackageHeader& h = reader.Header();
    const bool external = reader.Layout() == PackageLayout::External;
    out << "{\n"
        << "  \"file\": " << JsonString(reader.File().string()) << ",\n"
        << "  \"layout\": " << JsonString(conversion::PackageLayoutName(reader.Layout())) << ",\n"
        << "  \"centre\": {\"latitude\": " << JsonNumber(h.CentreLat())
        << ", \"longitude\": " << JsonNumber(h.CentreLon()) << ", \"bytes\": [" << unsigned{h.latDegrees} << ", "
        << unsigned{h.latMinutes} << ", " << unsigned{h.lonDegrees} << ", " << unsigned{h.lonMinutes} << "]},\n"
        << "  \"startLevel\": " << unsigned{h.startLevel} << ",\n"
        << "  \"tileCount\": " << h.tileCount << ",\n";
    if (external) out << "  \"dataBlockStart\": " << reader.DataBlockStart() << ",\n";
    out << "  \"tiles\": [";
    const auto& tiles = reader.Tiles();
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const auto& t = tiles[i];
        const auto format = conversion::SniffTileFormat(reader.ReadTileHead(i, kSignatureBytes));
        out << (i == 0 ? "\n" : ",\n") << "    {\"x\": " << t.x << ", \"y\": " << t.y << ", \"level\": " << t.level
            << ", \"kind\": " << unsigned{t.kind} << ", \"size\": " << t.size;
        if (external) out << ", \"offset\": " << t.offset;
        out << ", \"format\": " << JsonString(conversion::TileFormatName(format)) << "}";
    }
    out << (tiles.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

} // namespace orvane::cli
