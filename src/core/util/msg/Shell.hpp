#pragma once

// Texts of the application shell: update check and file-type registration.

#include <string_view>

namespace orvane::msg {

inline constexpr std::string_view kProgramTitle = "Orvane Studio";
inline constexpr std::string_view kNewVersionAvailable =
    "New version is available for download. Open Download site section?";
inline constexpr std::string_view kInformationCaption = "Information";
/// Description of the package file type (*.qvm) in the desktop's file types.
inline constexpr std::string_view kZentraMapComment = "Zentra Map";

} // namespace orvane::msg
