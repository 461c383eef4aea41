#pragma once

// Coordinates as the user reads them. Pure: the caller passes the user's
// decimal separator.

#include <string>

namespace orvane::geo {

enum CoordinateFormat : int {
    kFormatDegrees = 0,           // "GG.GGGGG"
    kFormatDegreesMinutes = 1,    // "GG MM.MMM"
    kFormatDegreesMinutesSeconds = 2, // "GG MM SS.S"
};

enum DisplayDatum : int {
    kDisplayWgs84 = 0,
    kDisplayPulkovo1942 = 1,
};

/// Item texts of the format and datum lists, in list order.
inline constexpr const char* kCoordinateFormatItems[] = {"GG.GGGGG", "GG MM.MMM", "GG MM SS.S"};
inline constexpr const char* kDisplayDatumItems[] = {"WGS84", "PULKOVO1942"};

std::string FormatCoordinate(int format, bool isLatitude, double value, char decimalSeparator = '.');

/// The map view's entry point: converts to the display datum (evaluated at
/// the unconverted point) and formats.
std::string CoordinateText(bool isLatitude, double latitude, double longitude, int format,
                           int datum, char decimalSeparator = '.');

} // namespace orvane::geo
