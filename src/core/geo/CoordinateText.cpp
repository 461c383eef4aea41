#include "geo/CoordinateText.hpp"

#include "geo/geotrans.hpp"
#include "util/NumberText.hpp"

#include <cmath>

namespace orvane::geo {
namespace {

// Fractional part of a times 60, formed in extended precision and handed to
// the formatter as a double.
double TimesSixty(double a, double whole)
{
    return static_cast<double>((static_cast<long double>(a) - whole) * 60);
}

} // namespace

// Every field has at least two integer digits and is rounded on its own (half
// away from zero), so minutes or seconds just below sixty print as "60" and
// are not carried into the field before them. Whole parts are taken in
// floating point, so no value can overflow an integer.
std::string FormatCoordinate(int format, bool isLatitude, double value, char decimalSeparator)
{
    const double a = std::fabs(value);
    std::string text;
    switch (format) {
    case kFormatDegrees:
        text = FormatFixed(a, 5, 2, decimalSeparator);
        break;
    case kFormatDegreesMinutes: {
        const double degrees = std::trunc(a);
        text = FormatFixed(degrees, 0, 2, decimalSeparator);
        text += ' ';
        text += FormatFixed(TimesSixty(a, degrees), 3, 2, decimalSeparator);
        break;
    }
    case kFormatDegreesMinutesSeconds: {
        const double degrees = std::trunc(a);
        const double minutes = TimesSixty(a, degrees);
        const double wholeMinutes = std::trunc(minutes);
        text = FormatFixed(degrees, 0, 2, decimalSeparator);
        text += ' ';
        text += FormatFixed(wholeMinutes, 0, 2, decimalSeparator);
        text += ' ';
        text += FormatFixed(TimesSixty(minutes, wholeMinutes), 1, 2, decimalSeparator);
        break;
    }
    default:
        break; // unknown notation: the hemisphere letter alone
    }
    if (isLatitude)
        text += value > 0 ? 'N' : 'S';
    else
        text += value > 0 ? 'E' : 'W';
    return text;
}

std::string CoordinateText(bool isLatitude, double latitude, double longitude, int format,
                           int datum, char decimalSeparator)
{
    double value = isLatitude ? latitude : longitude;
    if (datum == kDisplayPulkovo1942) {
        // Both conversions are evaluated at the WGS 84 point as given.
        value = isLatitude ? WgsToPulkovoLat(latitude, longitude, 0)
                           : WgsToPulkovoLon(latitude, longitude, 0);
    }
    return FormatCoordinate(format, isLatitude, value, decimalSeparator);
}

} // namespace orvane::geo
