#pragma once

// Texts of OziExplorer calibration reading. Texts taken from a .map file are
// passed in already converted to UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

// ---- projection, datum, image -------------------------------------------
inline std::string WrongProjection(const std::string& projection)
{
    return "Wrong map projection:" + projection + "\r\n" + " Must be Mercator!\r\n\r\n" +
           "Карта недоспустимой проекции:" + projection + "\r\n" + " Должна быть проекции Меркатора!";
}

inline std::string UnknownDatum(const std::string& datum)
{
    return "Unknown datum: " + datum + "\r\n" + "Must be WGS 84 or Pulkovo 1942 (2)!" + "\r\n\r\n" +
           "Неизвестная система координат: " + datum + "\r\n" + "Должна быть WGS 84 или Pulkovo 1942 (2)!";
}

inline std::string CannotFindMapImage(const std::string& imageLine, const std::string& bareName)
{
    return "Can' find map image: " + imageLine + " or " + bareName;
}

/// Shown beside "Used datum:" on the progress page.
inline constexpr std::string_view kDatumCaptionPulkovo = "Pulkovo 1942";
inline constexpr std::string_view kDatumCaptionWgs84 = "WGS84";

// ---- malformed files ----------------------------------------------------
inline std::string CalibrationTooShort(const std::string& file, std::size_t lineCount)
{
    return "The map file " + file + " has " + std::to_string(lineCount) +
           " lines; an OziExplorer map file has at least 40 (header, datum, projection and "
           "30 calibration point lines).";
}

inline std::string PointLineTooShort(const std::string& file, std::size_t lineNumber, std::size_t fieldCount)
{
    return "Calibration point line " + std::to_string(lineNumber) + " of " + file + " has " +
           std::to_string(fieldCount) + " fields; a calibration point needs at least 12.";
}

inline std::string NotAFloatValue(const std::string& text, const std::string& file, std::size_t lineNumber)
{
    return "'" + text + "' is not a valid floating point value (line " + std::to_string(lineNumber) + " of " +
           file + ")";
}

inline std::string NotAnIntegerValue(const std::string& text, const std::string& file, std::size_t lineNumber)
{
    return "'" + text + "' is not a valid integer value (line " + std::to_string(lineNumber) + " of " + file +
           ")";
}

// ---- calibration model --------------------------------------------------
inline std::string NoLongitudeSpread(const std::string& file)
{
    return "The calibration of " + file +
           " needs at least two calibration points with different longitudes and different image columns.";
}

inline std::string NoLatitudeSpread(const std::string& file)
{
    return "The calibration of " + file +
           " needs at least two calibration points with different latitudes and different image rows.";
}

inline std::string NoCalibrationPoints(const std::string& file)
{
    return "The calibration of " + file + " has no usable calibration point near the image.";
}

inline std::string NoRowSpread(const std::string& file)
{
    return "The calibration of " + file +
           " needs at least two calibration points on different image rows (the lower one on a row greater than 0).";
}

inline std::string RowsShareWorldRow(const std::string& file, std::int32_t level, std::int32_t lowRow,
                                     std::int32_t highRow)
{
    return "The calibration points of " + file + " on image rows " + std::to_string(highRow) + " and " +
           std::to_string(lowRow) + " fall on the same row of level " + std::to_string(level) +
           "; they need different latitudes to fit the image rows.";
}

} // namespace orvane::msg
