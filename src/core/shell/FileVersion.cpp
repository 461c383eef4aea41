#include "shell/FileVersion.hpp"

#include "util/NumberText.hpp"

#ifndef ORVANE_FILE_VERSION
#define ORVANE_FILE_VERSION ""
#endif

namespace orvane::shell {

std::string GetFileVersionString()
{
    return ORVANE_FILE_VERSION;
}

std::optional<std::int32_t> BuildNumberOf(std::string_view fileVersion)
{
    if (fileVersion.empty()) return std::nullopt;
    // With the closing full stop in place, the build number is what stands
    // between the last two of them (or before the only one).
    std::string_view v = fileVersion;
    if (v.back() == '.') v.remove_suffix(1);
    const std::size_t dot = v.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? v : v.substr(dot + 1);
    if (last.empty()) return std::nullopt;
    return ParseInt32(last);
}

std::optional<std::int32_t> GetBuildNumber()
{
    return BuildNumberOf(GetFileVersionString());
}

} // namespace orvane::shell
