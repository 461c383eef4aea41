#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

/// Locale-independent number parsing: '.' is the decimal separator, blanks
/// around the text are ignored, nothing else may follow the number.
std::optional<double> ParseDouble(std::string_view text);
std::optional<std::int32_t> ParseInt32(std::string_view text);

/// Text with leading and trailing characters of code 1..32 removed.
std::string_view TrimBlanks(std::string_view text);

/// Formats `value` with exactly `decimals` digits after the separator,
/// rounding half away from zero on the exact binary value, and at least
/// `minIntDigits` digits before it (leading zeros). The sign is kept.
/// With decimals == 0 no separator is printed.
std::string FormatFixed(double value, int decimals, int minIntDigits = 1,
                        char decimalSeparator = '.');

} // namespace orvane
