#pragma once

// Texts of the map view's region compiler: the compile list, its plan files
// and the message boxes of the "Compile" page.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

// ---- captions of the size labels before the first computation ------------
inline constexpr std::string_view kMapDimInitial = "10000x?";
inline constexpr std::string_view kTileCountInitial = "a x b";

// ---- message boxes ---------------------------------------------------------
inline constexpr std::string_view kNothingSelected =
    "Nothing selected! To select region move mouse over map while pressing left button.";
inline constexpr std::string_view kNothingSelectedCaption = "Warn";
inline constexpr std::string_view kSelectRegionToDelete =
    "Select region in list to delete\n\rВыделите регион в списке для удаления";
inline constexpr std::string_view kSelectRegionToDeleteCaption = "Information";

inline std::string MapReady(std::int64_t tileCount)
{
    return "Map of " + std::to_string(tileCount) + " tiles ready.";
}
inline constexpr std::string_view kMapReadyCaption = "Done";

// ---- regions ---------------------------------------------------------------
/// A region whose level lies outside the range of the level selector.
inline std::string RegionLevelOutOfRange(std::int32_t level)
{
    return "Region level " + std::to_string(level) + " is outside 1 to 18";
}

/// An edit's text that is not a decimal number.
inline std::string NotAFloatingPointValue(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid floating point value";
}

/// A region whose clamped edges enclose nothing.
inline constexpr std::string_view kRegionWithoutExtent =
    "The region has no extent: its top and bottom latitude, or its left and right longitude, are equal";

// ---- compile ---------------------------------------------------------------
inline constexpr std::string_view kCompileListEmpty = "The compile list is empty: add a region first";

inline std::string TooManyCompileTiles(std::int64_t limit)
{
    return "The regions cover more than " + std::to_string(limit) +
           " tiles; compile them as several maps or at a smaller zoom";
}

// ---- plan files ------------------------------------------------------------
inline std::string PlanWithoutCount(std::size_t fileSize)
{
    return "the file is " + std::to_string(fileSize) + " bytes long, too short to hold the region count";
}
inline std::string PlanNegativeCount(std::int32_t count)
{
    return "the region count " + std::to_string(count) + " is negative";
}
inline std::string PlanSizeMissing(std::int32_t region, std::int32_t count)
{
    return "the file ends before the record size of region " + std::to_string(region) + " of " +
           std::to_string(count);
}
inline std::string PlanBadRecordSize(std::int32_t region, std::int32_t size)
{
    return "region " + std::to_string(region) + " announces a record of " + std::to_string(size) +
           " bytes; a record holds 0 to 296 bytes";
}
inline std::string PlanRecordTruncated(std::int32_t region, std::int32_t size, std::size_t left)
{
    return "the record of region " + std::to_string(region) + " announces " + std::to_string(size) +
           " bytes, but only " + std::to_string(left) + " are left in the file";
}
/// A plan file that could be read but not decoded; `cause` is one of the
/// texts above.
inline std::string CannotLoadPlan(const std::string& path, const std::string& cause)
{
    return "Cannot load plan \"" + path + "\": " + cause;
}

} // namespace orvane::msg
