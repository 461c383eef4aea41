#pragma once

// Registration of the package file type with the desktop, per user, at
// every start: a shared-mime-info type for *.qvm ("Zentra Map", shown with
// the program's icon) and a desktop entry for the program. No open
// command is registered: the entry names no MIME type it handles.
//
// Files below the data home (XDG base directories):
//   mime/packages/orvane-zentramap.xml   the type; then update-mime-database
//   applications/orvane-editor.desktop   the program
//   icons/hicolor/NxN/apps/orvane-editor.png   the icon, when one is given

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane::shell {

inline constexpr std::string_view kQvmMimeType = "application/x-zentramap";
inline constexpr std::string_view kProgramIconName = "orvane-editor";

/// The per-user data folder: $XDG_DATA_HOME when it is an absolute path,
/// else $HOME/.local/share; empty when neither is usable. Arguments are the
/// two variables' values (null when unset).
std::filesystem::path UserDataHome(const char* xdgDataHome, const char* home);

/// The shared-mime-info package that declares the type.
std::string QvmMimePackage();

/// The desktop entry that starts `programPath`.
std::string ProgramDesktopEntry(const std::filesystem::path& programPath);

/// The Exec value that runs `path` with no arguments: quoted, with the
/// characters the desktop entry format reserves escaped.
std::string DesktopExecQuote(std::string_view path);

/// Writes the files below `dataHome` (only those whose content differs)
/// and runs update-mime-database on dataHome/mime when the package changed
/// or the database is missing, if that tool is installed. `iconPng` is a
/// square PNG image, or empty for none. False when a file could not be
/// written; never throws.
bool RegisterFileTypeIn(const std::filesystem::path& dataHome, const std::filesystem::path& programPath,
                        std::string_view iconPng) noexcept;

/// RegisterFileTypeIn for the user's data home and the running program;
/// failures are ignored.
void RegisterFileType(std::string_view iconPng = {}) noexcept;

} // namespace orvane::shell
