#pragma once

// Helpers shared by the fuzz targets: a scratch folder of the process for
// readers that need files, and a cursor that hands out the input's bytes.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace orvane::fuzz {

/// A folder of this process below the system's temporary folder, made on
/// first use and removed with everything in it when the process exits.
const std::filesystem::path& ScratchDir();

/// Writes `bytes` to `path`, replacing the file. Aborts when it cannot:
/// a target that cannot write its input would only fuzz the error path.
void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

/// The input viewed as text (any bytes, NUL included).
inline std::string_view AsText(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

/// Takes bytes from the front of the input; past the end it gives zeros.
class InputCursor {
public:
    explicit InputCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint8_t TakeByte()
    {
        if (m_bytes.empty()) return 0;
        const std::uint8_t b = m_bytes.front();
        m_bytes = m_bytes.subspan(1);
        return b;
    }
    /// Big-endian, as far as bytes remain.
    std::uint32_t TakeU32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | TakeByte();
        return v;
    }
    /// Up to `count` bytes.
    std::span<const std::uint8_t> Take(std::size_t count)
    {
        const std::size_t n = count < m_bytes.size() ? count : m_bytes.size();
        const auto part = m_bytes.first(n);
        m_bytes = m_bytes.subspan(n);
        return part;
    }
    std::span<const std::uint8_t> Rest() const { return m_bytes; }
    bool Empty() const { return m_bytes.empty(); }

private:
    std::span<const std::uint8_t> m_bytes;
};

} // namespace orvane::fuzz
