#include "geo/MercUtil.hpp"

#include <cmath>
#include <limits>
#include <numbers>

namespace orvane::geo {
namespace {

// Extended precision (the 80-bit long double of x86-64) carries the sums and
// the transcendental steps; results are rounded to double or truncated to an
// integer only where the grid arithmetic says so.
using Ext = long double;

constexpr Ext kPi = std::numbers::pi_v<Ext>;
constexpr Ext kInv360 = 1.0L / 360.0L;
constexpr Ext kInvTwoPi = 0.15915494309189533577L;

// Truncates toward zero into Int without undefined behaviour. A value the
// type cannot hold saturates at the nearest bound: this is what the forward
// operations return at the poles (the Mercator ordinate is infinite there,
// so the north pole gives the type's minimum and the south pole its
// maximum) and for absurd longitudes. NaN gives 0.
template <class Int>
Int TruncSaturate(Ext value)
{
    if (std::isnan(value)) return 0;
    constexpr Ext kLow = static_cast<Ext>(std::numeric_limits<Int>::min()); // -2^(bits-1), exact
    if (value <= kLow) return std::numeric_limits<Int>::min();
    if (value >= -kLow) return std::numeric_limits<Int>::max();
    return static_cast<Int>(value);
}

// Low 32 bits of a 64-bit grid quantity, read as a signed integer.
std::int32_t Low32(std::int64_t v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

// a - b in 32-bit two's complement, wrapping instead of overflowing.
std::int32_t Sub32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// sin of the latitude, rounded to double as both variants require.
double SinLat(double lat)
{
    return static_cast<double>(std::sin(static_cast<Ext>(lat) * kPi / 180));
}

// Spherical Mercator ordinate of a latitude whose sine is s. At s = +-1 (the
// poles, and latitudes so close to them that the sine rounds to one) it is
// infinite; we say so without dividing by zero.
Ext MercatorOrdinate(double s)
{
    constexpr Ext kInf = std::numeric_limits<Ext>::infinity();
    if (s >= 1) return kInf;
    if (s <= -1) return -kInf;
    const Ext one = 1;
    return 0.5L * std::log((one + s) / (one - s));
}

struct Ellipsoid {
    double a;
    double b;
};

Ellipsoid EllipsoidOf(EllipsoidKind kind)
{
    // The WGS 84 b is taken as 6356752.3 m, not its full value: results depend on it.
    if (kind == kEllipsoidKrassovsky1940) return {6378245.0, 6356863.0};
    return {6378137.0, 6356752.3};
}

// Appends the quadtree letters (or digits) of tile (x, y) at the level.
// The column wraps around the world: taking x modulo 2^(level-1) keeps the
// low bits of its two's complement, so the bit of x at each halving step is
// read straight from x sign-extended to 64 bits. That holds for any level
// without forming 2^(level-1) itself. The row does not wrap: it is compared
// against each half and reduced as it goes; halves from 2^32 up exceed every
// 32-bit row, which then stays in the northern half.
template <class Emit>
void DescendQuadtree(std::int32_t x, std::int32_t y, std::int32_t level, Emit emit)
{
    if (level < 2) return;
    const std::int64_t wideX = x;
    std::int64_t row = y;
    for (std::int32_t e = level - 2; e >= 0; --e) {
        const bool east = ((wideX >> (e < 63 ? e : 63)) & 1) != 0;
        bool north = true;
        if (e < 32) {
            const std::int64_t half = std::int64_t{1} << e;
            if (row >= half) {
                north = false;
                row -= half;
            }
        }
        emit(north, east);
    }
}

} // namespace

// ---- conversion variant ---------------------------------------------------

std::int64_t TilesPerSide(std::int32_t level)
{
    if (level < 1) return 0; // 2^(L-1) truncated
    if (level > 63) return std::numeric_limits<std::int64_t>::max(); // saturates, like every truncation here
    return std::int64_t{1} << (level - 1);
}

std::int64_t WorldPixels(std::int32_t level)
{
    // Wraps modulo 2^64 beyond any level in use.
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(TilesPerSide(level)) * 256u);
}

std::int64_t HalfWorld(std::int32_t level)
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(WorldPixels(level)) >> 1);
}

double PixelsPerDegree(std::int32_t level)
{
    return static_cast<double>(static_cast<Ext>(WorldPixels(level)) * kInv360);
}

double PixelsPerRadian(std::int32_t level)
{
    return static_cast<double>(static_cast<Ext>(WorldPixels(level)) * kInvTwoPi);
}

std::int64_t LonToPixelX(std::int32_t level, double lon)
{
    const Ext sum = static_cast<Ext>(Low32(HalfWorld(level))) +
                    static_cast<Ext>(PixelsPerDegree(level)) * lon;
    return TruncSaturate<std::int64_t>(sum);
}

std::int64_t LatToPixelY(std::int32_t level, double lat)
{
    const double m = static_cast<double>(MercatorOrdinate(SinLat(lat)));
    const Ext sum = static_cast<Ext>(Low32(HalfWorld(level))) -
                    static_cast<Ext>(PixelsPerRadian(level)) * m;
    return TruncSaturate<std::int64_t>(sum);
}

double PixelXToLon(std::int32_t x, std::int32_t level)
{
    const std::int32_t dx = Sub32(x, Low32(HalfWorld(level)));
    return static_cast<double>(static_cast<Ext>(dx) / static_cast<Ext>(PixelsPerDegree(level)));
}

double PixelYToLat(std::int32_t y, std::int32_t level)
{
    const std::int32_t dy = Sub32(y, Low32(HalfWorld(level)));
    const double q = static_cast<double>(static_cast<Ext>(dy) / -static_cast<Ext>(PixelsPerRadian(level)));
    const Ext e = std::exp(static_cast<Ext>(q));
    return static_cast<double>((2 * std::atan(e) - kPi / 2) * 180 / kPi);
}

std::int32_t PixelToTile(std::int32_t p)
{
    return p / 256; // p / 256.0 is exact, and its truncation is the integer quotient
}

// ---- view variant -----------------------------------------------------------
// 32-bit quantities; past level 23 they wrap modulo 2^32 (no caller goes there).

std::int32_t ViewTilesPerSide(std::int32_t level)
{
    if (level < 2) return 1;
    const std::int32_t shift = level - 2;
    if (shift >= 32) return 0;
    return static_cast<std::int32_t>(std::uint32_t{2} << shift);
}

std::int32_t ViewWorldPixels(std::int32_t level)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ViewTilesPerSide(level)) * 256u);
}

std::int32_t ViewHalfWorld(std::int32_t level)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ViewWorldPixels(level)) >> 1);
}

double ViewPixelsPerDegree(std::int32_t level)
{
    return static_cast<double>(static_cast<Ext>(ViewWorldPixels(level)) * kInv360);
}

double ViewPixelsPerRadian(std::int32_t level)
{
    return static_cast<double>(static_cast<Ext>(ViewWorldPixels(level)) * kInvTwoPi);
}

std::int32_t ViewLonToPixelX(std::int32_t level, double lon)
{
    const Ext sum = static_cast<Ext>(ViewHalfWorld(level)) + 0.5L +
                    static_cast<Ext>(ViewPixelsPerDegree(level)) * lon;
    return TruncSaturate<std::int32_t>(sum);
}

std::int32_t ViewLatToPixelY(std::int32_t level, double lat)
{
    const Ext m = MercatorOrdinate(SinLat(lat)); // kept extended here
    const Ext sum = static_cast<Ext>(ViewHalfWorld(level)) + 0.5L -
                    static_cast<Ext>(ViewPixelsPerRadian(level)) * m;
    return TruncSaturate<std::int32_t>(sum);
}

double ViewPixelXToLon(std::int32_t x, std::int32_t level)
{
    const std::int32_t dx = Sub32(x, ViewHalfWorld(level));
    return static_cast<double>(static_cast<Ext>(dx) / static_cast<Ext>(ViewPixelsPerDegree(level)));
}

double ViewPixelYToLat(std::int32_t y, std::int32_t level)
{
    const std::int32_t dy = Sub32(y, ViewHalfWorld(level));
    const double e = static_cast<double>(
        std::exp(static_cast<Ext>(dy) / -static_cast<Ext>(ViewPixelsPerRadian(level))));
    return static_cast<double>((std::atan(static_cast<Ext>(e)) - kPi / 4) * 360 / kPi);
}

std::int32_t ViewPixelToTile(std::int32_t p)
{
    return p / 256;
}

// ---- tile keys --------------------------------------------------------------

std::string TileKey(std::int32_t x, std::int32_t y, std::int32_t level)
{
    std::string key = "t";
    if (level > 1) key.reserve(static_cast<std::size_t>(level));
    DescendQuadtree(x, y, level, [&key](bool north, bool east) {
        key += north ? (east ? 'r' : 'q') : (east ? 's' : 't');
    });
    return key;
}

std::string QuadKeyDigits(std::int32_t x, std::int32_t y, std::int32_t level)
{
    std::string key;
    if (level > 1) key.reserve(static_cast<std::size_t>(level - 1));
    DescendQuadtree(x, y, level, [&key](bool north, bool east) {
        key += static_cast<char>('0' + (north ? 0 : 2) + (east ? 1 : 0));
    });
    return key;
}

// ---- ellipsoidal inverse ----------------------------------------------------

void MercatorXYToLatLon(double x, double y, EllipsoidKind kind, double& lon, double& lat)
{
    const Ellipsoid ell = EllipsoidOf(kind);
    const Ext a = ell.a;
    const Ext b = ell.b;
    const Ext e = static_cast<double>(std::sqrt(a * a - b * b) / a);

    lon = static_cast<double>(static_cast<Ext>(x) / a * 180 / kPi);

    const bool south = y < 0;
    const Ext northing = std::fabs(static_cast<Ext>(y));
    const Ext expTwoY = std::exp(2 * northing / a);

    // Fixed-point iteration on sin(phi) of y/a = atanh(sin phi) - e*atanh(e*sin phi),
    // started from the spherical latitude. It settles within a handful of
    // rounds; the count is fixed so that results never depend on a tolerance.
    Ext phi = 2 * std::atan(std::exp(northing / a)) - kPi / 2;
    for (int round = 0; round < 101; ++round) {
        const Ext s = std::sin(phi);
        const Ext v = 1 - (1 + s) * std::pow(1 - e * s, e) / (std::pow(1 + e * s, e) * expTwoY);
        phi = std::atan2(v, std::sqrt(1 - v * v));
    }
    const Ext degrees = phi * 180 / kPi;
    lat = static_cast<double>(south ? -degrees : degrees);
}

LonLat MercatorXYToLatLon(double x, double y, EllipsoidKind kind)
{
    LonLat out;
    MercatorXYToLatLon(x, y, kind, out.lon, out.lat);
    return out;
}

} // namespace orvane::geo
