#include "util/NumberText.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace orvane {

std::string_view TrimBlanks(std::string_view text)
{
    auto isBlank = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 1 && u <= 32;
    };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<double> ParseDouble(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> ParseInt32(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string FormatFixed(double value, int decimals, int minIntDigits, char decimalSeparator)
{
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    const bool negative = std::signbit(value) && value != 0.0;
    const double a = std::fabs(value);
    // Print the exact binary value with plenty of digits and round the
    // decimal text ourselves, ties away from zero.
    constexpr int kExtra = 40;
    std::vector<char> buf(static_cast<std::size_t>(400 + decimals + kExtra));
    // to_chars, unlike printf, ignores the C locale's decimal separator.
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::fixed,
                                   decimals + kExtra);
    std::string digits(buf.data(), res.ptr);
    const auto dot = digits.find('.');
    std::string intPart = digits.substr(0, dot);
    std::string frac = digits.substr(dot + 1);
    std::string kept = intPart + frac.substr(0, static_cast<std::size_t>(decimals));
    if (frac[static_cast<std::size_t>(decimals)] >= '5') {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0) {
            if (kept[static_cast<std::size_t>(i)] == '9') {
                kept[static_cast<std::size_t>(i)] = '0';
                --i;
            } else {
                ++kept[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0) kept.insert(kept.begin(), '1');
    }
    std::string whole = kept.substr(0, kept.size() - static_cast<std::size_t>(decimals));
    const std::string fraction = kept.substr(kept.size() - static_cast<std::size_t>(decimals));
    while (whole.size() > 1 && whole.front() == '0') whole.erase(whole.begin());
    while (static_cast<int>(whole.size()) < minIntDigits) whole.insert(whole.begin(), '0');
    std::string out;
    bool allZero = whole.find_first_not_of('0') == std::string::npos &&
                   fraction.find_first_not_of('0') == std::string::npos;
    if (negative && !allZero) out += '-';
    out += whole;
    if (decimals > 0) {
        out += decimalSeparator;
        out += fraction;
    }
    return out;
}

} // namespace orvane
