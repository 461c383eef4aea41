#pragma once

// Texts of the conversion pipeline.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

inline constexpr std::string_view kTooDetailed =
    "Your map is too highly detailed (Zoom >= 20 can not be used). Lower resolution and try again.";
inline constexpr std::string_view kNoTilesByWidth = "Can not ignore borders - no tiles left (by width)";
inline constexpr std::string_view kNoTilesByHeight = "Can not ignore borders - no tiles left (by height)";
inline constexpr std::string_view kPreparing = "Preparing mobile map file... please, wait";
inline constexpr std::string_view kUsedDatum = "Used datum:";
inline constexpr std::string_view kNoProgressYet = "---/---";
inline constexpr std::string_view kFinalBuild = "Map final build...";
inline constexpr std::string_view kPauseCaption = "Pause";
inline constexpr std::string_view kPauseText =
    "Press OK when you finished with tile processing to make map build";
inline constexpr std::string_view kDoneCaption = "Done";

inline std::string UnsupportedImageType(const std::string& bareName)
{
    return "Only JPG, GIF, BMP, PNG map file supported! Unknown file type:" + bareName;
}
inline std::string ErrorOnLoad(const std::string& cause) { return "Error on load: " + cause; }
inline std::string ErrorOnBitmapAssign(const std::string& cause) { return "Error on bitmap assign: " + cause; }

/// The closing message of a package conversion ("\n\r" is LF then CR).
inline std::string MapReady(std::int32_t baseLevel, std::int32_t lowLevel)
{
    return "Map ready. Used levels from " + std::to_string(baseLevel) + " to " + std::to_string(lowLevel) +
           "\n\r" + "When correcting map offset you must use M=" + std::to_string(baseLevel);
}

/// Progress label while cutting: i/total/L.
inline std::string TileProgress(std::int64_t done, std::int64_t total, std::int32_t level)
{
    return std::to_string(done) + "/" + std::to_string(total) + "/" + std::to_string(level);
}

/// The lowest level would fall below 1.
inline std::string LevelCountTooLarge(std::int32_t levelCount, std::int32_t baseLevel)
{
    return "Too many levels of scaling: " + std::to_string(levelCount) + " levels from level " +
           std::to_string(baseLevel) + " would go below level 1. Use at most " +
           std::to_string(baseLevel < 1 ? 0 : baseLevel) + " levels for this map.";
}

inline constexpr std::string_view kMapTooCoarse =
    "The map's resolution is too low to fit any tile level (level 1 is the whole world in one tile).";

inline std::string OffsetNotWholeNumber(const std::string& text)
{
    return "'" + text + "' is not a valid integer value";
}

inline std::string IncompletePackage(const std::string& cause, const std::string& qvm, const std::string& qvo)
{
    return cause + "\r\nThe package was not finished: " + qvm + " and " + qvo + " are incomplete.";
}

} // namespace orvane::msg

namespace orvane::msg {

inline std::string GeoTiffUnavailable(const std::string& file)
{
    return "Cannot convert " + file + ": GeoTIFF sources need the qvegeotiff component, which is not available.";
}

} // namespace orvane::msg
