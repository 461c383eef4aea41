#pragma once

// Texts of the assembly of packages and of the import of a package into a
// custom layer of the tile cache.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

// ---- assembly: action, file-selection dialog, closing message -------------

inline constexpr std::string_view kAssembleHint =
    "Assemble multiple maps into single one Собрать несколько файлов карт в один файл";
inline constexpr std::string_view kSelectFilesCaption = "Select files to assemble";
inline constexpr std::string_view kAddFilesButton = "Add &files...";
inline constexpr std::string_view kRemoveSelectedButton = "&Remove selected";
inline constexpr std::string_view kAssembleButton = "&Assemble";
inline constexpr std::string_view kCancelButton = "&Cancel";
inline constexpr std::string_view kTilesCoincideNote =
    "When map tiles coincide (in the same level)\r\ntile from first file (higher in the list) are being used";
/// Title and filter of the open dialog shared by the assembly and the import.
inline constexpr std::string_view kAddFilesTitle = "Select map files to add to list";
inline constexpr std::string_view kAddFilesFilter =
    "All maps (*.qvm;*.qvo)|*.qvm;*qvo|Internal maps (*.qvm)|*.qvm|External maps (*.qvo)|*.qvo";
inline constexpr std::string_view kInfoCaption = "Info";

inline std::string AssembledMapContains(std::uint64_t kept, std::uint64_t total)
{
    return "Assembled map contains " + std::to_string(kept) + " of total " + std::to_string(total) +
           " map tiles.";
}

// ---- assembly failures ----------------------------------------------------

inline std::string CannotCreateFolder(const std::string& path, const std::string& reason)
{
    return "Cannot create folder \"" + path + "\": " + reason;
}

/// An input failed before the output was begun: earlier output files stand.
inline std::string AssemblyStopped(const std::string& cause)
{
    return cause + "\nThe assembly stopped before writing its output; no output file was changed.";
}

// ---- import into a custom layer -------------------------------------------

inline constexpr std::string_view kImportHint =
    "Load map to view in tab Map| Загрузить карту для просмотра в закладке Map";
inline constexpr std::string_view kImportOziMapItem = "Import OziExplorer map...";
inline constexpr std::string_view kImportPackageItem = "Import Orvane map...";
inline constexpr std::string_view kImportWhereQuestion = "Load into Custom map 1 (otherwise load to Custom map 2)?";
inline constexpr std::string_view kImportWhereCaption = "WHERE to import";

/// Detail of a malformed package: a level no tile cache can hold.
inline std::string TileLevelOutOfRange(std::string_view what, std::uint64_t number, std::int32_t level)
{
    return std::string(what) + " " + std::to_string(number) + " has level " + std::to_string(level) +
           "; tile levels run from 1 to 32.";
}

/// The import failed; `copied` tiles of `total` were written and stay.
inline std::string ImportStopped(const std::string& cause, std::uint64_t copied, std::uint64_t total)
{
    if (copied == 0) return cause + "\nThe import stopped before any tile was copied into the tile cache.";
    return cause + "\nThe import stopped after " + std::to_string(copied) + " of " + std::to_string(total) +
           " tiles were copied into the tile cache; the copied tiles stay there.";
}

} // namespace orvane::msg
