#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvane::image {

/// A 24-bit RGB raster, rows top to bottom, 3 bytes per pixel (R, G, B),
/// rows packed without padding. Pixels are left uninitialised on creation:
/// a decoder fills every row.
class RgbImage {
public:
    RgbImage() = default;
    RgbImage(std::int32_t width, std::int32_t height)
        : m_width(width), m_height(height),
          m_pixels(std::make_unique_for_overwrite<std::uint8_t[]>(ByteCount(width, height)))
    {
    }

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    bool Empty() const { return m_width <= 0 || m_height <= 0; }
    std::size_t Stride() const { return static_cast<std::size_t>(m_width) * 3; }
    std::size_t SizeBytes() const { return ByteCount(m_width, m_height); }

    std::uint8_t* Data() { return m_pixels.get(); }
    const std::uint8_t* Data() const { return m_pixels.get(); }
    std::uint8_t* Row(std::int32_t y) { return m_pixels.get() + Stride() * static_cast<std::size_t>(y); }
    const std::uint8_t* Row(std::int32_t y) const
    {
        return m_pixels.get() + Stride() * static_cast<std::size_t>(y);
    }

    static std::size_t ByteCount(std::int32_t width, std::int32_t height)
    {
        if (width <= 0 || height <= 0) return 0;
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    }

private:
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::unique_ptr<std::uint8_t[]> m_pixels;
};

} // namespace orvane::image
