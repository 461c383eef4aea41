#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvane {

/// Reads a whole file as bytes; throws Error naming the file when it cannot
/// be opened or read.
std::string ReadWholeFile(const std::filesystem::path& path);

/// Text of errno as the platform words it.
std::string SystemErrorText(int errorNumber);

} // namespace orvane
