#pragma once

// Reading of OziExplorer calibration files (.map, format 2.x): projection and
// datum checks, the image named in the file, the calibration points and the
// calibration model built from them.
//
// Model: longitude is linear in the image column, latitude linear in the
// image row (LonScale, LatScale, ReferencePoint); for tiling, the image row is
// linear in the Mercator world row of each level (VerticalFit). No fit is
// made: every figure comes from a chosen pair of points or a single point.
//
// Lines used, by 0-based index: 2 image path, 4 datum, 8 projection, 9..39
// calibration point lines. A file needs at least 40 lines.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::conversion {

/// Cuts a calibration line into fields. Blanks (codes 1..32) before the
/// first field are skipped; a field starting with '"' runs to the closing
/// quote ("" inside stands for one quote); any other field runs up to the
/// next comma or blank. Blanks after a field are skipped, then a comma and
/// the blanks after it; a comma that ends the line adds one empty field.
/// So "WGS 84" gives two fields and ",  ," an empty one between. A NUL
/// character ends the text.
std::vector<std::string> SplitFields(std::string_view line);

/// Cuts text into lines ending at CR LF, LF or CR. A terminator at the very
/// end does not start another line; empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

/// Bare file name of a path written with '\' or '/' separators: the part
/// after the last of either.
std::string_view BareFileName(std::string_view path);

/// One usable calibration point, on WGS 84.
struct TCalibrationPoint {
    double Lat = 0;      // degrees, north positive
    double Lon = 0;      // degrees, east positive
    std::int32_t X = 0;  // image column
    std::int32_t Y = 0;  // image row
    bool operator==(const TCalibrationPoint&) const = default;
};

/// Image row of Mercator world row R at one level: s * R + o.
struct RowFit {
    double s = 0;
    double o = 0;
};

/// One calibration file. Load, then check projection and datum, then use
/// the points and the model. All failures throw orvane::Error with the
/// user's message. Const operations do not modify the object, so a loaded
/// calibration may be shared by threads that only read it.
class TOziCalibration {
public:
    /// Reads the whole file; `path` names the file in messages.
    void LoadFromFile(const std::filesystem::path& path);
    /// Takes the file's text; `sourceName` names it in messages. Refuses a
    /// text of fewer than 40 lines. Problems of the point lines surface in
    /// CheckDatum or in the first operation that needs the points.
    void LoadFromText(std::string_view text, std::string sourceName);

    /// Fails unless field 2 of the projection line is "Mercator".
    void CheckProjection() const;
    /// Fails unless the datum line names WGS 84 or Pulkovo 1942; sets the
    /// Pulkovo flag and reads the points (converted to WGS 84 when the flag
    /// is set), so malformed point lines fail here.
    void CheckDatum();
    bool PulkovoDatum() const { return m_pulkovo; }
    /// "Pulkovo 1942" or "WGS84".
    std::string_view DatumCaption() const;

    /// Line 2 as stored in the file (8-bit text, often windows-1251).
    const std::string& ImagePath() const;
    /// The image's bare file name (after the last '\' or '/'), in UTF-8;
    /// its extension decides the image type.
    std::string ImageBareName() const;
    /// The image file: line 2 as a path if a file is there (a relative
    /// path is taken from `searchDir`), else the bare name in `searchDir`.
    /// A name that is not UTF-8 is also tried converted from windows-1251,
    /// and a path with '\' separators also with '/'. An empty `searchDir`
    /// stands for the process's current directory. Fails with the
    /// "Can' find map image" message.
    std::filesystem::path FindImage(const std::filesystem::path& searchDir) const;

    /// Number of usable calibration points.
    std::size_t PointCount() const;
    /// Usable point n (from 0, in file order). Throws std::out_of_range past
    /// the last point.
    TCalibrationPoint GetPoint(std::size_t n) const;
    /// Image pixels per degree of longitude, from the pair of points farthest
    /// apart in longitude (the first such pair). Fails when it would be 0.
    double LonScale() const;
    /// Image pixels per degree of latitude, likewise.
    double LatScale() const;

    /// Image size in pixels, needed by ReferencePoint.
    void SetImageSize(std::int32_t width, std::int32_t height);
    std::int32_t ImageWidth() const { return m_width; }
    std::int32_t ImageHeight() const { return m_height; }
    /// The usable point nearest to the image centre (the earlier on ties).
    TCalibrationPoint ReferencePoint() const;
    /// Scale and offset from world rows of `level` to image rows, through the
    /// lowest and the highest point of the image. Fails when they cannot
    /// give a finite scale.
    RowFit VerticalFit(std::int32_t level) const;

    const std::string& SourceName() const { return m_sourceName; }

private:
    struct Points {
        std::vector<TCalibrationPoint> points;
        double lonScale = 0;  // 0: no pair of distinct longitudes
        double latScale = 0;
        std::optional<std::size_t> lowest;   // greatest Y above 0
        std::optional<std::size_t> highest;  // smallest Y
    };

    const std::vector<std::string>& Fields(std::size_t line) const;
    const std::string& Field(std::size_t line, std::size_t field) const;
    Points ReadPoints() const;
    void RereadPoints();
    const Points& UsablePoints() const;

    std::string m_sourceName;
    std::vector<std::string> m_lines;
    std::vector<std::vector<std::string>> m_fields;  // per line
    bool m_pulkovo = false;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    Points m_points;
    std::string m_pointsError;  // set when the point lines cannot be read
};

} // namespace orvane::conversion
