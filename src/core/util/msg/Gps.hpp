#pragma once

// Texts of the GPS receiver.

#include <string>
#include <string_view>

namespace orvane::msg {

/// Caption of the message box that shows ErrorConnectingTo.
inline constexpr std::string_view kGpsErrorCaption = "Error";

/// The port could not be opened; `portName` as the user typed it.
inline std::string ErrorConnectingTo(std::string_view portName)
{
    return "Error connecting to " + std::string(portName);
}

} // namespace orvane::msg
