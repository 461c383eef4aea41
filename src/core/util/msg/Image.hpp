#pragma once

// Texts of image decoding and tile encoding failures. A decoding failure is
// shown to the user behind "Error on load: ".

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::msg {

inline std::string ImageSizeInvalid(std::int64_t width, std::int64_t height)
{
    return "Invalid image size " + std::to_string(width) + " x " + std::to_string(height);
}

inline std::string ImageTooLarge(std::int64_t width, std::int64_t height, std::uint64_t limit)
{
    return "The image is too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels exceeds the limit of " + std::to_string(limit) + " pixels";
}

/// format: "JPEG", "PNG", "GIF", "BMP" or "TIFF"; cause: the library's text or
/// one of the causes below.
inline std::string ImageDataInvalid(std::string_view format, const std::string& cause)
{
    return "Invalid " + std::string(format) + " image: " + cause;
}

/// A decoding failure of a file: the path, then what went wrong.
inline std::string ImageFileUnreadable(const std::string& path, const std::string& cause)
{
    return "Cannot read image \"" + path + "\": " + cause;
}

inline std::string ImageEncodeFailed(std::string_view format, const std::string& cause)
{
    return "Cannot encode " + std::string(format) + " image: " + cause;
}

inline constexpr std::string_view kImageTypeUnknown = "Unknown image type";
inline constexpr std::string_view kImageDataTruncated = "the data ends early";
inline constexpr std::string_view kImageNoFrame = "the file holds no image";
inline constexpr std::string_view kImageOutOfMemory = "out of memory";
inline constexpr std::string_view kImageRowLayout = "unexpected row layout after conversion to RGB";

// Causes found by the BMP reader.
inline constexpr std::string_view kBmpNotBmp = "the file does not start with \"BM\"";
inline constexpr std::string_view kBmpHeaderTruncated = "the headers end past the end of the file";
inline constexpr std::string_view kBmpPaletteTruncated = "the colour table ends past the end of the file";
inline constexpr std::string_view kBmpPixelsPastEnd = "the pixel data starts past the end of the file";
inline constexpr std::string_view kBmpPixelsTruncated = "the pixel data ends past the end of the file";
inline constexpr std::string_view kBmpRleDamaged = "the run-length data is damaged";
inline constexpr std::string_view kBmpRleTopDown = "run-length data in a top-down image";

inline std::string BmpHeaderUnsupported(std::uint32_t headerSize)
{
    return "unsupported header size " + std::to_string(headerSize);
}
inline std::string BmpPlanesInvalid(std::uint32_t planes)
{
    return "invalid number of planes " + std::to_string(planes);
}
inline std::string BmpBitDepthUnsupported(std::uint32_t bitsPerPixel)
{
    return "unsupported bit depth " + std::to_string(bitsPerPixel);
}
inline std::string BmpCompressionUnsupported(std::uint32_t compression, std::uint32_t bitsPerPixel)
{
    return "unsupported compression " + std::to_string(compression) + " at bit depth " +
           std::to_string(bitsPerPixel);
}

// Causes found by the TIFF reader.
inline std::string TiffLayoutUnsupported(std::uint32_t photometric, std::uint32_t bitsPerSample,
                                         std::uint32_t samplesPerPixel)
{
    return "unsupported layout (photometric " + std::to_string(photometric) + ", " +
           std::to_string(bitsPerSample) + " bits per sample, " + std::to_string(samplesPerPixel) +
           " samples per pixel)";
}

} // namespace orvane::msg
