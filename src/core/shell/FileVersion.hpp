#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::shell {

/// The program's file version, dotted numbers such as "1.0.0.1", as set in
/// the build (ORVANE_FILE_VERSION). Empty when the build set none.
std::string GetFileVersionString();

/// The build number of a file version: "." is appended unless the text ends
/// with one, and the last component that a full stop ends is read as a
/// decimal whole number ("1.2.3.45" gives 45, "5" gives 5, "1.2." gives 2).
/// nullopt for an empty text, an empty or a non-numeric last component.
std::optional<std::int32_t> BuildNumberOf(std::string_view fileVersion);

/// The running program's build number: BuildNumberOf(GetFileVersionString()).
std::optional<std::int32_t> GetBuildNumber();

} // namespace orvane::shell
