#include "geo/geotrans.hpp"

#include <cmath>
#include <numbers>

namespace orvane::geo {
namespace {

// Terms are summed in the 80-bit long double and the shifts rounded to
// double at the end.
using Ext = long double;

constexpr Ext kPi = std::numbers::pi_v<Ext>;

// Mean ellipsoid of Krassovsky 1940 and WGS 84, used inside the formulas.
constexpr Ext kA = 6378191.0L;
constexpr Ext kE2 = 0.00669390080655363L;
constexpr Ext kAOneMinusE2 = 6335496.0221207468953L; // a * (1 - e^2)
constexpr Ext kA2 = 40681320432481.0L;               // a^2
constexpr Ext kOneMinusE2 = 0.99330609919344636793L; // 1 - e^2

// WGS 84 minus Krassovsky.
constexpr Ext kDa = -108.0L;
constexpr Ext kDe2 = 9.583671753737682e-7L;

constexpr Ext kRho = 206264.8062L; // arc-seconds per radian

// Pulkovo 1942 -> WGS 84: origin shift (m), rotations (arc-seconds), scale.
constexpr Ext kDx = 24.0L;
constexpr Ext kDy = -141.0L;
constexpr Ext kDz = -81.0L;
constexpr Ext kWx = 0.0L;
constexpr Ext kWy = -0.35L;
constexpr Ext kWz = -0.82L;
constexpr Ext kMs = -1.2e-7L;

struct Radii {
    Ext sinB, cosB, sinL, cosL, tanB, cos2B;
    Ext m; // meridian radius, rounded to double
    Ext n; // prime-vertical radius, rounded to double
};

Radii RadiiAt(double b, double l)
{
    const double bRad = static_cast<double>(static_cast<Ext>(b) * kPi / 180);
    const double lRad = static_cast<double>(static_cast<Ext>(l) * kPi / 180);
    Radii r{};
    r.sinB = std::sin(static_cast<Ext>(bRad));
    r.cosB = std::cos(static_cast<Ext>(bRad));
    r.sinL = std::sin(static_cast<Ext>(lRad));
    r.cosL = std::cos(static_cast<Ext>(lRad));
    r.tanB = std::tan(static_cast<Ext>(bRad));
    r.cos2B = std::cos(2 * static_cast<Ext>(bRad));
    const Ext w = 1 - kE2 * r.sinB * r.sinB;
    r.m = static_cast<double>(kAOneMinusE2 / std::pow(w, 1.5L));
    r.n = static_cast<double>(kA * std::pow(w, -0.5L));
    return r;
}

} // namespace

// At B = +-90 the radians of the latitude, rounded to double, are just short
// of pi/2, so cos B is tiny but not zero: the longitude shift comes out huge
// and finite, and nothing traps.

double DatumShiftLatSeconds(double b, double l, double h)
{
    const Radii r = RadiiAt(b, l);
    const Ext sinCos = r.sinB * r.cosB;
    const Ext cos2B = r.cos2B;
    const Ext bracket = r.n / kA * kE2 * sinCos * kDa +
                        (r.n * r.n / kA2 + 1) * r.n * sinCos * kDe2 / 2 -
                        (kDx * r.cosL + kDy * r.sinL) * r.sinB + kDz * r.cosB;
    const Ext shift = kRho / (r.m + h) * bracket - kWx * r.sinL * (1 + kE2 * cos2B) +
                      kWy * r.cosL * (1 + kE2 * cos2B) - kRho * kMs * kE2 * sinCos;
    return static_cast<double>(shift);
}

double DatumShiftLonSeconds(double b, double l, double h)
{
    const Radii r = RadiiAt(b, l);
    const Ext tanB = r.tanB;
    const Ext shift = kRho / ((r.n + h) * r.cosB) * (-kDx * r.sinL + kDy * r.cosL) +
                      tanB * kOneMinusE2 * (kWx * r.cosL + kWy * r.sinL) - kWz;
    return static_cast<double>(shift);
}

double PulkovoToWgsLat(double b, double l, double h)
{
    return static_cast<double>(b + static_cast<Ext>(DatumShiftLatSeconds(b, l, h)) / 3600);
}

double PulkovoToWgsLon(double b, double l, double h)
{
    return static_cast<double>(l + static_cast<Ext>(DatumShiftLonSeconds(b, l, h)) / 3600);
}

double WgsToPulkovoLat(double b, double l, double h)
{
    return static_cast<double>(b - static_cast<Ext>(DatumShiftLatSeconds(b, l, h)) / 3600);
}

double WgsToPulkovoLon(double b, double l, double h)
{
    return static_cast<double>(l - static_cast<Ext>(DatumShiftLonSeconds(b, l, h)) / 3600);
}

} // namespace orvane::geo
