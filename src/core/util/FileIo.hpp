#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace orvane {

/// Reads a whole file as bytes; throws Error naming the file when it cannot
/// be opened or read.
std::string ReadWholeFile(const std::filesystem::path& path);

/// Creates or truncates `path` and writes `data` to it; throws Error
/// naming the file on failure.
void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> data);

/// Text of errno as the platform words it.
std::string SystemErrorText(int errorNumber);

} // namespace orvane
