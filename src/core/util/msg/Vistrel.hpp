#pragma once

// Texts of the position-sharing client and its tab.

#include <string>
#include <string_view>

namespace orvane::msg {

inline constexpr std::string_view kConnectVistrel = "Connect Vistrel";
inline constexpr std::string_view kVistrelLastUpdate = "Last update";
inline constexpr std::string_view kVistrelSecretHint = "You may get secret part at site in Balance section";
inline constexpr std::string_view kMd5Unavailable = "MD5 digest is not available";

/// A user's speed as shown in the info panel: the whole number, then the unit.
inline std::string VistrelSpeed(std::string_view wholeKmh)
{
    return std::string(wholeKmh) + " km/h";
}

} // namespace orvane::msg
