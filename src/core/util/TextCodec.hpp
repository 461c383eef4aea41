#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

/// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

/// Converts Windows code page 1251 (Cyrillic) bytes to UTF-8.
/// Returns nullopt only when the converter is unavailable.
std::optional<std::string> Cp1251ToUtf8(std::string_view text);

/// Converts UTF-8 to Windows code page 1251; nullopt when a character has
/// no place in that code page or the input is not UTF-8.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

} // namespace orvane
