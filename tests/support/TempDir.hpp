#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane::test {

/// A unique folder under the system's temporary folder, removed with its
/// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

/// Writes bytes to a file, creating parent folders.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
/// Reads a whole file as bytes.
std::string ReadFile(const std::filesystem::path& path);

} // namespace orvane::test
