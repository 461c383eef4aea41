#include "gps/Nmea.hpp"

#include <algorithm>
#include <cstdint>

namespace orvane::gps {

namespace {

constexpr double kMinutesToDegrees = 0.01666666666667;
constexpr double kKnotsToKmh = 1.852;
// The course is taken only above this speed (km/h); slower, it is noise.
constexpr double kCourseMinSpeed = 3.0;
// Longer digit runs are not numbers a receiver sends; refusing them keeps
// the integer arithmetic far from overflow.
constexpr std::int64_t kNumberLimit = 100'000'000;
// GGA and RMC use fields up to 12; later ones are never looked at.
constexpr std::size_t kMaxFields = 16;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

/// The fields of the text before '*': field k starts after the k-th comma.
class Fields {
public:
    explicit Fields(std::string_view body)
    {
        std::size_t start = 0;
        while (m_count < kMaxFields) {
            const auto comma = body.find(',', start);
            m_fields[m_count++] = body.substr(start, comma == std::string_view::npos ? comma : comma - start);
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }
    std::optional<std::string_view> operator[](std::size_t k) const
    {
        if (k >= m_count) return std::nullopt;
        return m_fields[k];
    }

private:
    std::array<std::string_view, kMaxFields> m_fields{};
    std::size_t m_count = 0;
};

/// Satellites in use: the digits up to '.', or -1 for an empty field.
std::optional<std::int64_t> ReadSatellites(std::string_view text)
{
    text = text.substr(0, text.find('.'));
    if (text.empty()) return -1;
    std::int64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c) || value > kNumberLimit) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

/// An angle in the fixed form (d)ddmm.mmmm: `degreeDigits` digits of
/// degrees, two of whole minutes, then optionally the decimal point and
/// digits of which the first four count (missing ones count as zero).
std::optional<double> ReadAngle(std::string_view text, std::size_t degreeDigits)
{
    if (text.empty()) return 0.0;
    const std::size_t wholeDigits = degreeDigits + 2;
    if (text.size() < wholeDigits) return std::nullopt;
    std::int32_t degrees = 0;
    std::int32_t minutes = 0;
    for (std::size_t i = 0; i < wholeDigits; ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
        std::int32_t& part = i < degreeDigits ? degrees : minutes;
        part = part * 10 + (text[i] - '0');
    }
    std::int32_t fraction = 0; // ten-thousandths of a minute
    std::size_t used = 0;
    text.remove_prefix(wholeDigits);
    if (!text.empty()) {
        if (text.front() != '.') return std::nullopt;
        text.remove_prefix(1);
        for (const char c : text) {
            if (!IsDigit(c)) return std::nullopt;
            if (used < 4) {
                fraction = fraction * 10 + (c - '0');
                ++used;
            }
        }
    }
    for (; used < 4; ++used) fraction *= 10;
    const double minutesValue = static_cast<double>(minutes * 10000 + fraction) / 10000.0;
    return degrees + minutesValue * kMinutesToDegrees;
}

/// A decimal number truncated to tenths: an optional '-', the integer
/// digits, and of the fraction only its first digit.
std::optional<double> ReadTenths(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    std::int64_t tenths = 0;
    bool anyDigit = false;
    while (!text.empty() && IsDigit(text.front())) {
        if (tenths > kNumberLimit) return std::nullopt;
        tenths = tenths * 10 + (text.front() - '0');
        anyDigit = true;
        text.remove_prefix(1);
    }
    tenths *= 10;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        if (!text.empty() && IsDigit(text.front())) {
            tenths += text.front() - '0';
            anyDigit = true;
        }
        if (!std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
        text = {};
    }
    if (!text.empty() || !anyDigit) return std::nullopt;
    return static_cast<double>(negative ? -tenths : tenths) / 10.0;
}

std::optional<TGpsFix> HandleGga(const Fields& fields, TGpsFix fix)
{
    const auto satellitesField = fields[7];
    if (!satellitesField) return std::nullopt;
    const auto satellites = ReadSatellites(*satellitesField);
    if (!satellites || *satellites == 0) return std::nullopt;

    const auto latField = fields[2];
    const auto latSign = fields[3];
    const auto lonField = fields[4];
    const auto lonSign = fields[5];
    if (!latField || !latSign || !lonField || !lonSign) return std::nullopt;
    const auto latitude = ReadAngle(*latField, 2);
    const auto longitude = ReadAngle(*lonField, 3);
    if (!latitude || !longitude) return std::nullopt;
    fix.Latitude = latSign->starts_with('S') ? -*latitude : *latitude;
    fix.Longitude = lonSign->starts_with('W') ? -*longitude : *longitude;
    return fix;
}

std::optional<TGpsFix> HandleRmc(const Fields& fields, TGpsFix fix)
{
    const auto status = fields[2];
    if (!status || !status->starts_with('A')) return std::nullopt;

    const auto speedField = fields[7];
    if (!speedField) return std::nullopt;
    double knots = 0;
    if (!speedField->empty()) {
        const auto value = ReadTenths(*speedField);
        if (!value) return std::nullopt;
        knots = *value;
    }
    fix.Speed = knots * kKnotsToKmh;

    if (fix.Speed > kCourseMinSpeed) {
        const auto courseField = fields[8];
        if (!courseField) return std::nullopt;
        if (!courseField->empty()) {
            auto course = ReadTenths(*courseField);
            if (!course) return std::nullopt;
            if (*course < 0) *course += 360;
            fix.Course = *course;
            fix.WholeCourse = static_cast<std::int32_t>(*course);
        }
    }
    return fix;
}

} // namespace

std::optional<TGpsFix> HandleSentence(std::string_view sentence, const TGpsFix& current) noexcept
{
    const auto star = sentence.find('*');
    if (star == std::string_view::npos || sentence.size() < star + 3) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    const int high = HexValue(sentence[star + 1]);
    const int low = HexValue(sentence[star + 2]);
    if (high < 0 || low < 0 || static_cast<unsigned>(high * 16 + low) != sum) return std::nullopt;

    const auto body = sentence.substr(0, star);
    if (body.size() < 6) return std::nullopt;
    const auto type = body.substr(3, 3);
    if (type == "GGA") return HandleGga(Fields(body), current);
    if (type == "RMC") return HandleRmc(Fields(body), current);
    return std::nullopt;
}

void LineBuffer::Append(std::span<const char> bytes) noexcept
{
    if (bytes.size() >= kCapacity) {
        std::memcpy(m_bytes.data(), bytes.data() + (bytes.size() - kCapacity), kCapacity);
        m_count = kCapacity;
        return;
    }
    if (m_count + bytes.size() > kCapacity) {
        const std::size_t drop = m_count + bytes.size() - kCapacity;
        std::memmove(m_bytes.data(), m_bytes.data() + drop, m_count - drop);
        m_count -= drop;
    }
    if (!bytes.empty()) std::memcpy(m_bytes.data() + m_count, bytes.data(), bytes.size());
    m_count += bytes.size();
}

} // namespace orvane::gps
