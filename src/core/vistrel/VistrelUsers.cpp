#include "vistrel/VistrelUsers.hpp"

#include "util/Messages.hpp"
#include "util/NumberText.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orvane::vistrel {

namespace {

constexpr std::size_t kFieldCount = 11;

/// Blanks (spaces only) around a number are allowed; any other character,
/// a carriage return included, makes the number invalid.
std::string_view TrimSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

template <class Int>
std::optional<Int> ParseWhole(std::string_view text)
{
    text = TrimSpaces(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    Int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> ParseReal(std::string_view text)
{
    text = TrimSpaces(text);
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    // from_chars would also take "inf" and "nan": a number starts with a
    // digit or a point after at most one sign.
    const std::string_view body = (!plus && !text.empty() && text.front() == '-') ? text.substr(1) : text;
    if (body.empty() || !(std::isdigit(static_cast<unsigned char>(body.front())) || body.front() == '.'))
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

std::vector<std::string_view> SplitFields(std::string_view text, char delimiter)
{
    std::vector<std::string_view> fields;
    const std::size_t first = text.find_first_not_of(delimiter);
    if (first == std::string_view::npos) return fields;
    text.remove_prefix(first);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            if (start < text.size()) fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

std::optional<TVistrelUser> ParseVistrelLine(std::string_view line)
{
    const auto f = SplitFields(line, ',');
    if (f.empty() || f[0] != "VL" || f.size() < kFieldCount) return std::nullopt;
    const auto firstId = ParseWhole<std::int32_t>(f[8]);
    const auto secondId = ParseWhole<std::int32_t>(f[10]);
    const auto lat = ParseReal(f[2]);
    const auto lon = ParseReal(f[3]);
    const auto value4 = ParseReal(f[4]);
    const auto speed = ParseReal(f[5]);
    const auto course = ParseReal(f[6]);
    const auto value7 = ParseWhole<std::int64_t>(f[7]);
    if (!firstId || !secondId || !lat || !lon || !value4 || !speed || !course || !value7) return std::nullopt;
    TVistrelUser user;
    user.FirstId = *firstId;
    user.SecondId = *secondId;
    user.Name = std::string(f[1]);
    user.Lat = *lat;
    user.Lon = *lon;
    user.Value4 = *value4;
    user.Speed = *speed;
    user.Course = *course;
    user.Value7 = *value7;
    user.TimeText = std::string(f[9]);
    return user;
}

std::vector<TVistrelUser> ParseVistrelResponse(std::string_view text)
{
    std::vector<TVistrelUser> users;
    for (const std::string_view line : SplitFields(text, '\n'))
        if (auto user = ParseVistrelLine(line)) users.push_back(std::move(*user));
    return users;
}

void MergeVistrelUsers(std::vector<TVistrelUser>& users, std::span<const TVistrelUser> reported)
{
    for (const TVistrelUser& r : reported) {
        const auto known = std::find_if(users.begin(), users.end(), [&](const TVistrelUser& u) {
            return u.FirstId == r.FirstId && u.SecondId == r.SecondId;
        });
        if (known != users.end())
            *known = r;
        else
            users.push_back(r);
    }
}

std::string VistrelSpeedText(double speed)
{
    return msg::VistrelSpeed(FormatFixed(speed, 0));
}

} // namespace orvane::vistrel
