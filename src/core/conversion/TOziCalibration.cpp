#include "conversion/TOziCalibration.hpp"

#include "geo/MercUtil.hpp"
#include "geo/geotrans.hpp"
#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"
#include "util/NumberText.hpp"
#include "util/TextCodec.hpp"

#include <cmath>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace orvane::conversion {

namespace {

constexpr std::size_t kMinLines = 40;
constexpr std::size_t kImageLine = 2;
constexpr std::size_t kDatumLine = 4;
constexpr std::size_t kProjectionLine = 8;
constexpr std::size_t kFirstPointLine = 9;
constexpr std::size_t kLastPointLine = 39;
constexpr std::size_t kMinPointFields = 12;

bool IsBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

/// Text from the file as UTF-8 for messages: kept when it already is UTF-8,
/// else read as windows-1251, the code page these files come in.
std::string ForDisplay(std::string_view text)
{
    if (IsValidUtf8(text)) return std::string(text);
    if (auto utf8 = Cp1251ToUtf8(text)) return std::move(*utf8);
    return std::string(text);
}

bool IsFile(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::filesystem::path InFolder(const std::filesystem::path& folder, const std::string& name)
{
    const std::filesystem::path path(name);
    return path.is_absolute() ? path : folder / path;
}

} // namespace

// ---- text -------------------------------------------------------------------

std::vector<std::string> SplitFields(std::string_view line)
{
    if (const auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    std::vector<std::string> fields;
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n && IsBlank(line[i])) ++i;
    while (i < n) {
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        } else {
            const std::size_t start = i;
            while (i < n && line[i] != ',' && !IsBlank(line[i])) ++i;
            field.assign(line.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        while (i < n && IsBlank(line[i])) ++i;
        if (i < n && line[i] == ',') {
            ++i;
            if (i == n) fields.emplace_back();
            while (i < n && IsBlank(line[i])) ++i;
        }
    }
    return fields;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string_view BareFileName(std::string_view path)
{
    const auto sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

// ---- loading and checks -----------------------------------------------------

void TOziCalibration::LoadFromFile(const std::filesystem::path& path)
{
    LoadFromText(ReadWholeFile(path), path.string());
}

void TOziCalibration::LoadFromText(std::string_view text, std::string sourceName)
{
    auto lines = SplitLines(text);
    if (lines.size() < kMinLines) throw Error(msg::CalibrationTooShort(sourceName, lines.size()));

    m_sourceName = std::move(sourceName);
    m_lines = std::move(lines);
    m_fields.clear();
    m_fields.reserve(m_lines.size());
    for (const auto& line : m_lines) m_fields.push_back(SplitFields(line));
    m_pulkovo = false;
    RereadPoints();
}

void TOziCalibration::CheckProjection() const
{
    const std::string& projection = Field(kProjectionLine, 2);
    if (projection != "Mercator") throw Error(msg::WrongProjection(ForDisplay(projection)));
}

void TOziCalibration::CheckDatum()
{
    const std::string& f0 = Field(kDatumLine, 0);
    const std::string& f1 = Field(kDatumLine, 1);
    const bool accepted = f0 == "WGS" || f1 == "84" || f0 == "Pulkovo" || f1 == "1942";
    if (!accepted) throw Error(msg::UnknownDatum(ForDisplay(f0)));
    m_pulkovo = f0 == "Pulkovo";
    RereadPoints();
    UsablePoints();  // malformed point lines fail here
}

std::string_view TOziCalibration::DatumCaption() const
{
    return m_pulkovo ? msg::kDatumCaptionPulkovo : msg::kDatumCaptionWgs84;
}

const std::vector<std::string>& TOziCalibration::Fields(std::size_t line) const
{
    static const std::vector<std::string> kNone;
    return line < m_fields.size() ? m_fields[line] : kNone;
}

const std::string& TOziCalibration::Field(std::size_t line, std::size_t field) const
{
    static const std::string kEmpty;
    const auto& fields = Fields(line);
    return field < fields.size() ? fields[field] : kEmpty;
}

// ---- image ------------------------------------------------------------------

const std::string& TOziCalibration::ImagePath() const
{
    static const std::string kEmpty;
    return kImageLine < m_lines.size() ? m_lines[kImageLine] : kEmpty;
}

std::string TOziCalibration::ImageBareName() const
{
    return ForDisplay(BareFileName(TrimBlanks(ImagePath())));
}

std::filesystem::path TOziCalibration::FindImage(const std::filesystem::path& searchDir) const
{
    // The name as stored, and as windows-1251 text when it is not UTF-8.
    std::vector<std::string> names;
    const std::string stored(TrimBlanks(ImagePath()));
    names.push_back(stored);
    if (!IsValidUtf8(stored))
        if (auto utf8 = Cp1251ToUtf8(stored)) names.push_back(std::move(*utf8));

    for (const auto& name : names) {
        if (name.empty()) continue;
        if (const auto full = InFolder(searchDir, name); IsFile(full)) return full;
        if (name.find('\\') == std::string::npos) continue;
        std::string slashed = name;
        for (auto& c : slashed)
            if (c == '\\') c = '/';
        if (const auto full = InFolder(searchDir, slashed); IsFile(full)) return full;
    }
    for (const auto& name : names) {
        const std::string bare(BareFileName(name));
        if (bare.empty()) continue;
        if (const auto path = searchDir / bare; IsFile(path)) return path;
    }
    throw Error(msg::CannotFindMapImage(ForDisplay(ImagePath()), ImageBareName()));
}

// ---- points -----------------------------------------------------------------

void TOziCalibration::RereadPoints()
{
    m_points = {};
    m_pointsError.clear();
    try {
        m_points = ReadPoints();
    } catch (const Error& e) {
        m_pointsError = e.what();
    }
}

const TOziCalibration::Points& TOziCalibration::UsablePoints() const
{
    if (!m_pointsError.empty()) throw Error(m_pointsError);
    return m_points;
}

TOziCalibration::Points TOziCalibration::ReadPoints() const
{
    Points result;
    for (std::size_t line = kFirstPointLine; line <= kLastPointLine && line < m_fields.size(); ++line) {
        const auto& fields = m_fields[line];
        const bool usable = TrimBlanks(Field(line, 4)) == "in" && !TrimBlanks(Field(line, 3)).empty();
        if (!usable) continue;
        const std::size_t lineNumber = line + 1;
        if (fields.size() < kMinPointFields)
            throw Error(msg::PointLineTooShort(m_sourceName, lineNumber, fields.size()));

        auto number = [&](std::size_t i) {
            const auto value = ParseDouble(fields[i]);
            if (!value) throw Error(msg::NotAFloatValue(ForDisplay(fields[i]), m_sourceName, lineNumber));
            return *value;
        };
        auto integer = [&](std::size_t i) {
            const auto value = ParseInt32(fields[i]);
            if (!value) throw Error(msg::NotAnIntegerValue(ForDisplay(fields[i]), m_sourceName, lineNumber));
            return *value;
        };

        TCalibrationPoint p;
        p.Lat = number(6) + number(7) / 60;
        if (Upper(fields[8]) == "S") p.Lat = -p.Lat;
        p.Lon = number(9) + number(10) / 60;
        if (Upper(fields[11]) == "W") p.Lon = -p.Lon;
        if (m_pulkovo) {
            const double lat = p.Lat;
            const double lon = p.Lon;
            p.Lat = geo::PulkovoToWgsLat(lat, lon, 0);
            p.Lon = geo::PulkovoToWgsLon(lat, lon, 0);
        }
        p.X = integer(2);
        p.Y = integer(3);
        result.points.push_back(p);
    }

    // Scales from the pair farthest apart; a later pair wins only when
    // strictly farther, so the first such pair is taken.
    const auto& pts = result.points;
    double bestLon = 0;
    double bestLat = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        for (std::size_t j = i + 1; j < pts.size(); ++j) {
            const double dLon = std::fabs(pts[i].Lon - pts[j].Lon);
            if (dLon > bestLon) {
                bestLon = dLon;
                result.lonScale = std::fabs(static_cast<double>(pts[i].X) - pts[j].X) / dLon;
            }
            const double dLat = std::fabs(pts[i].Lat - pts[j].Lat);
            if (dLat > bestLat) {
                bestLat = dLat;
                result.latScale = std::fabs(static_cast<double>(pts[i].Y) - pts[j].Y) / dLat;
            }
        }
    }

    // Lowest point: greatest Y, above row 0. Highest: smallest Y.
    std::int32_t lowestY = 0;
    std::int32_t highestY = 999999999;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (pts[i].Y > lowestY) {
            lowestY = pts[i].Y;
            result.lowest = i;
        }
        if (pts[i].Y < highestY) {
            highestY = pts[i].Y;
            result.highest = i;
        }
    }
    return result;
}

std::size_t TOziCalibration::PointCount() const
{
    return UsablePoints().points.size();
}

TCalibrationPoint TOziCalibration::GetPoint(std::size_t n) const
{
    const auto& pts = UsablePoints().points;
    if (n >= pts.size()) throw std::out_of_range("calibration point index out of range");
    return pts[n];
}

double TOziCalibration::LonScale() const
{
    const double scale = UsablePoints().lonScale;
    if (!(scale > 0) || !std::isfinite(scale)) throw Error(msg::NoLongitudeSpread(m_sourceName));
    return scale;
}

double TOziCalibration::LatScale() const
{
    const double scale = UsablePoints().latScale;
    if (!(scale > 0) || !std::isfinite(scale)) throw Error(msg::NoLatitudeSpread(m_sourceName));
    return scale;
}

// ---- model ------------------------------------------------------------------

void TOziCalibration::SetImageSize(std::int32_t width, std::int32_t height)
{
    m_width = width;
    m_height = height;
}

TCalibrationPoint TOziCalibration::ReferencePoint() const
{
    const auto& pts = UsablePoints().points;
    const double cx = m_width / 2.0;
    const double cy = m_height / 2.0;
    double best = 100000000;
    const TCalibrationPoint* ref = nullptr;
    for (const auto& p : pts) {
        const double dx = p.X - cx;
        const double dy = p.Y - cy;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < best) {
            best = d;
            ref = &p;
        }
    }
    if (ref == nullptr) throw Error(msg::NoCalibrationPoints(m_sourceName));
    return *ref;
}

RowFit TOziCalibration::VerticalFit(std::int32_t level) const
{
    const auto& usable = UsablePoints();
    if (!usable.lowest || !usable.highest || *usable.lowest == *usable.highest)
        throw Error(msg::NoRowSpread(m_sourceName));
    const auto& low = usable.points[*usable.lowest];
    const auto& high = usable.points[*usable.highest];
    // World rows are used through their low 32 bits, as signed numbers.
    const auto rowLow = static_cast<std::int32_t>(geo::LatToPixelY(level, low.Lat));
    const auto rowHigh = static_cast<std::int32_t>(geo::LatToPixelY(level, high.Lat));
    const std::int64_t dRow = static_cast<std::int64_t>(rowLow) - rowHigh;
    if (dRow == 0) throw Error(msg::RowsShareWorldRow(m_sourceName, level, low.Y, high.Y));
    RowFit fit;
    fit.s = static_cast<double>(static_cast<std::int64_t>(low.Y) - high.Y) / static_cast<double>(dRow);
    fit.o = low.Y - fit.s * rowLow;
    return fit;
}

} // namespace orvane::conversion
