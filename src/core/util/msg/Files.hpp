#pragma once

// Texts of file access failures.


#include <string>
#include <string_view>

namespace orvane::msg {

// ---- files ---------------------------------------------------------------
inline std::string CannotOpenFile(const std::string& path, const std::string& reason)
{
    return "Cannot open file \"" + path + "\": " + reason;
}
inline std::string CannotReadFile(const std::string& path, const std::string& reason)
{
    return "Cannot read file \"" + path + "\": " + reason;
}
inline std::string CannotWriteFile(const std::string& path, const std::string& reason)
{
    return "Cannot write file \"" + path + "\": " + reason;
}

} // namespace orvane::msg
