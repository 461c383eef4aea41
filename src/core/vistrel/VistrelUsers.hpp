#pragma once

// The users the position service reports: the response lines, their
// fields, and the list the map view keeps.
//
// A response holds one user per line, fields separated by commas:
//   0 "VL"  1 name  2 latitude  3 longitude  4 real (unused)  5 speed km/h
//   6 course  7 64-bit whole number (unused)  8 first id  9 time text
//   10 second id
// Numbers use "." as decimal separator whatever the locale.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::vistrel {

/// One user as last reported. Users are told apart by the two identifiers.
struct TVistrelUser {
    std::int32_t FirstId = 0;   // field 8
    std::int32_t SecondId = 0;  // field 10
    std::string Name;           // field 1, UTF-8
    double Lat = 0;             // field 2, degrees
    double Lon = 0;             // field 3, degrees
    double Value4 = 0;          // field 4, kept, not used
    double Speed = 0;           // field 5, km/h
    double Course = 0;          // field 6, degrees
    std::int64_t Value7 = 0;    // field 7, kept, not used
    std::string TimeText;       // field 9, shown as it is
    bool operator==(const TVistrelUser&) const = default;
};

/// The fields of `text` in order. Delimiters at the very start are skipped;
/// after that every delimiter ends a field (two in a row give an empty
/// one), a delimiter at the very end adds no empty field, and the text
/// after the last delimiter is the last field. Empty text, or text made
/// only of delimiters, has no fields.
std::vector<std::string_view> SplitFields(std::string_view text, char delimiter);

/// The user of one response line; nullopt when field 0 is not "VL", when
/// the line has fewer than 11 fields, or when a number does not convert.
std::optional<TVistrelUser> ParseVistrelLine(std::string_view line);

/// The users of all accepted lines of a response, in the order received
/// (lines are split at LF only, so a CR stays in the last field).
std::vector<TVistrelUser> ParseVistrelResponse(std::string_view text);

/// Folds reported users into the list in order: a user with the same two
/// identifiers is overwritten in place, any other is appended. The list
/// never shrinks.
void MergeVistrelUsers(std::vector<TVistrelUser>& users, std::span<const TVistrelUser> reported);

/// The speed as the info panel shows it: rounded to a whole number (halves
/// away from zero), then " km/h".
std::string VistrelSpeedText(double speed);

} // namespace orvane::vistrel
