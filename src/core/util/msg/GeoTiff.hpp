#pragma once

// Texts of the GeoTIFF calibration export and of its component.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace orvane::msg {

inline constexpr std::string_view kLibraryLoadError = "Error on library load! Please, run register.bat before use!";
/// The component could not be created: the fixed text, then the reason
/// (the loader's own text, or the factory's result).
inline std::string LibraryLoadFailed(const std::string& reason)
{
    return std::string(kLibraryLoadError) + "\n" + reason;
}

inline constexpr std::string_view kCantOpenTiff = "Can't open TIFF!";
inline constexpr std::string_view kTiffWrongProjection =
    "TIFF wrong projection or datum! Projection must be Mercator and datum must be WGS84 or Pulkovo 1942!!!";

/// The georeferencing gives no finite position for an image corner.
inline constexpr std::string_view kTiffCornersUnusable =
    "TIFF georeferencing does not place the image corners on the Earth!";

/// After the export run from the main window or the command line.
inline std::string MapFileCreated(const std::string& path)
{
    return "Map file created: " + path;
}
inline constexpr std::string_view kMapFileCreatedCaption = "Info";
inline constexpr std::string_view kLibraryLoadErrorCaption = "Error";

// The main window's action and its file dialog.
inline constexpr std::string_view kA2TiffHint =
    "Convert GeoTIFF to OziExplorer map Создать файл привязки для Ozi к выбранной карте в формате GeoTIFF ";
inline constexpr std::string_view kConvertGeoTiffTitle = "Convert  GeoTIFF map...";
inline constexpr std::string_view kGeoTiffFilter = "GeoTIFF (*.tif)|*.tif";

/// The system's text for a failure code returned by the component.
inline std::string ComponentResultText(std::int32_t code)
{
    switch (static_cast<std::uint32_t>(code)) {
    case 0x80004003u: return "Invalid pointer";
    case 0x8007000Eu: return "Not enough memory resources are available to complete this operation.";
    case 0x8000FFFFu: return "Catastrophic failure";
    case 0x80040111u: return "ClassFactory cannot supply requested class";
    default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(code));
    return text;
}

} // namespace orvane::msg
