#pragma once

// Decoders of map images and tiles into RgbImage, and the two tile encoders.
// A thin layer over libjpeg-turbo, libpng, giflib and libtiff, plus a reader
// of our own for BMP.
//
// Common rules of the decoders:
// - Every decoder checks width × height against maxPixels, and refuses zero
//   or negative sizes, before it allocates the image.
// - A failure throws orvane::Error whose what() names the cause; the
//   libraries never print to stderr and never end the process. Running out
//   of memory for the image itself surfaces as std::bad_alloc.
// - Transparency is ignored: the stored colour of a pixel is kept and its
//   alpha dropped (PNG alpha and tRNS, the GIF transparent index, TIFF extra
//   samples). An image with alpha thus shows its colour channels, not a
//   composite over some background.
// - Only the first image of a file is read (first GIF frame, first TIFF
//   directory).
//
// Everything here keeps its state on the stack of the call, so decoders and
// encoders run on several threads at once. The encoders are deterministic:
// the same pixels give the same bytes.

#include "image/RgbImage.hpp"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace orvane::image {

/// Image format of a map's image file.
enum class ImageType { Unknown, Jpeg, Bmp, Gif, Png, Tiff };

/// Largest image accepted unless a caller says otherwise: one gigapixel
/// (3 GB as a 24-bit image).
inline constexpr std::uint64_t kDefaultMaxPixels = 1'000'000'000;

/// The format named by a bare file name's extension, upper-cased: ".JPG" and
/// ".JPEG" are JPEG, ".BMP", ".GIF", ".PNG", ".TIF" the others; anything
/// else, including no extension, is Unknown.
ImageType ImageTypeFromExtension(std::string_view bareName);

/// Throws Error unless 0 < width, 0 < height, both fit RgbImage, and
/// width × height ≤ maxPixels.
void CheckImageSize(std::int64_t width, std::int64_t height, std::uint64_t maxPixels);

// ---- decoding from memory (tiles from the cache or a download) ----------

RgbImage DecodeJpeg(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kDefaultMaxPixels);
RgbImage DecodePng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kDefaultMaxPixels);
RgbImage DecodeGif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kDefaultMaxPixels);
RgbImage DecodeBmp(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kDefaultMaxPixels);
RgbImage DecodeTiff(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels = kDefaultMaxPixels);

/// Dispatches on type; Unknown throws Error.
RgbImage DecodeImage(std::span<const std::uint8_t> bytes, ImageType type,
                     std::uint64_t maxPixels = kDefaultMaxPixels);

/// Decodes a file. The file is mapped into memory rather than copied, so a
/// large uncompressed BMP or TIFF costs the image and not the image twice.
/// Errors name the file.
RgbImage DecodeImageFile(const std::filesystem::path& path, ImageType type,
                         std::uint64_t maxPixels = kDefaultMaxPixels);

// ---- tile encoders --------------------------------------------------------

enum class JpegColour { Rgb, Grey };

/// Baseline JPEG of packed 24-bit RGB rows (width × 3 bytes each), quality
/// 0..100 (clamped; libjpeg treats 0 as 1), 4:2:0 chroma subsampling,
/// Huffman tables optimised for the image. Grey writes one channel (the
/// settings page's preview).
std::vector<std::uint8_t> EncodeJpeg(const std::uint8_t* rgb, std::int32_t width, std::int32_t height,
                                     std::int32_t quality, JpegColour colour = JpegColour::Rgb);
std::vector<std::uint8_t> EncodeJpeg(const RgbImage& image, std::int32_t quality,
                                     JpegColour colour = JpegColour::Rgb);

/// 8-bit RGB PNG, not interlaced, of packed 24-bit RGB rows; zlib level 1
/// with the Sub filter (fast, and robust on both flat and smooth content).
std::vector<std::uint8_t> EncodePng(const std::uint8_t* rgb, std::int32_t width, std::int32_t height);
std::vector<std::uint8_t> EncodePng(const RgbImage& image);

} // namespace orvane::image
