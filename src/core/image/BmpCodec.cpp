// BMP: a reader of our own. Every size and offset in the headers is checked
// against the data before anything is read or allocated.
//
// Read: the OS/2 1.x core header (12 bytes) and the Windows headers of 40,
// 52, 56, 108 and 124 bytes (and OS/2 2.x headers of 16 and 64 bytes
// without their own compressions); 1-, 4- and 8-bit palettes, 16-bit (555
// unless bit fields say otherwise, e.g. 565), 24-bit and 32-bit (8-8-8
// unless bit fields say otherwise); bottom-up and top-down row order; RLE8
// and RLE4. Alpha is dropped. Palette indices past the colour table give
// black. Pixels that run-length data skips (delta and end-of-line codes)
// take palette entry 0, as in a freshly created 8-bit Windows bitmap.
// Refused: JPEG or PNG inside BMP, OS/2 Huffman and RLE24, other depths.

#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace orvane::image {

namespace {

constexpr std::string_view kFormat = "BMP";

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

constexpr std::size_t kFileHeaderSize = 14;

[[noreturn]] void Fail(std::string_view cause)
{
    throw Error(msg::ImageDataInvalid(kFormat, std::string(cause)));
}

std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

/// One colour channel of a 16- or 32-bit pixel: its mask, shifted down and
/// widened (or cut) to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;  // mask >> shift
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
        bits = std::bit_width(max);
    }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        if (mask == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

struct BmpInfo {
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive
    bool topDown = false;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::array<std::uint32_t, 3> masks{};
    std::array<std::array<std::uint8_t, 3>, 256> palette{};  // R, G, B; entries past the table are black
    std::uint64_t pixelOffset = 0;
};

BmpInfo ReadHeaders(std::span<const std::uint8_t> bytes)
{
    const std::uint8_t* d = bytes.data();
    const std::size_t size = bytes.size();
    if (size < 2 || d[0] != 'B' || d[1] != 'M') Fail(msg::kBmpNotBmp);
    if (size < kFileHeaderSize + 4) Fail(msg::kBmpHeaderTruncated);
    BmpInfo info;
    info.pixelOffset = U32(d + 10);
    const std::uint32_t headerSize = U32(d + 14);
    const bool core = headerSize == 12;
    const bool os2 = headerSize == 16 || headerSize == 64;
    if (!core && !os2 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        Fail(msg::BmpHeaderUnsupported(headerSize));
    if (kFileHeaderSize + headerSize > size) Fail(msg::kBmpHeaderTruncated);

    const std::uint8_t* h = d + kFileHeaderSize;
    std::uint32_t planes = 0;
    std::uint32_t colorsUsed = 0;
    if (core) {
        info.width = U16(h + 4);
        info.height = U16(h + 6);
        planes = U16(h + 8);
        info.bitsPerPixel = U16(h + 10);
    } else {
        info.width = static_cast<std::int32_t>(U32(h + 4));
        const auto height = static_cast<std::int32_t>(U32(h + 8));
        info.topDown = height < 0;
        info.height = info.topDown ? -static_cast<std::int64_t>(height) : height;
        planes = U16(h + 12);
        info.bitsPerPixel = U16(h + 14);
        if (headerSize >= 20) info.compression = U32(h + 16);
        if (headerSize >= 36) colorsUsed = U32(h + 32);
    }
    if (planes != 1) Fail(msg::BmpPlanesInvalid(planes));
    const std::uint32_t bpp = info.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        Fail(msg::BmpBitDepthUnsupported(bpp));
    const std::uint32_t c = info.compression;
    const bool supported = c == kRgb || (c == kRle8 && bpp == 8) || (c == kRle4 && bpp == 4) ||
                           (!os2 && (c == kBitFields || c == kAlphaBitFields) && (bpp == 16 || bpp == 32));
    if (!supported) Fail(msg::BmpCompressionUnsupported(c, bpp));
    if ((c == kRle8 || c == kRle4) && info.topDown) Fail(msg::kBmpRleTopDown);

    // After the header: the bit fields (40-byte header only; larger headers
    // hold them inside), then the colour table.
    std::uint64_t tableStart = kFileHeaderSize + headerSize;
    if (c == kBitFields || c == kAlphaBitFields) {
        const std::uint8_t* m = h + 40;
        if (headerSize == 40) {
            tableStart += c == kBitFields ? 12 : 16;
            if (tableStart > size) Fail(msg::kBmpHeaderTruncated);
            m = d + kFileHeaderSize + 40;
        }
        info.masks = {U32(m), U32(m + 4), U32(m + 8)};
    } else if (bpp == 16) {
        info.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (bpp == 32) {
        info.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    if (bpp <= 8) {
        const std::uint32_t entrySize = core ? 3 : 4;
        const std::uint32_t maxEntries = 1u << bpp;
        const std::uint32_t entries = colorsUsed == 0 || colorsUsed > maxEntries ? maxEntries : colorsUsed;
        if (tableStart + std::uint64_t{entries} * entrySize > size) Fail(msg::kBmpPaletteTruncated);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = d + tableStart + std::uint64_t{i} * entrySize;
            info.palette[i] = {e[2], e[1], e[0]};
        }
    }
    if (info.pixelOffset >= size) Fail(msg::kBmpPixelsPastEnd);
    return info;
}

/// Converts one stored row to RGB.
void ConvertRow(const BmpInfo& info, const std::uint8_t* src, std::uint8_t* dst, const Channel* channels)
{
    const auto width = static_cast<std::size_t>(info.width);
    switch (info.bitsPerPixel) {
    case 1:
    case 4:
    case 8: {
        const std::uint32_t bpp = info.bitsPerPixel;
        const std::uint32_t perByte = 8 / bpp;
        const auto mask = static_cast<std::uint8_t>((1u << bpp) - 1);
        for (std::size_t x = 0; x < width; ++x, dst += 3) {
            const std::uint32_t shift = 8 - bpp * (1 + static_cast<std::uint32_t>(x % perByte));
            const std::uint8_t index = (src[x / perByte] >> shift) & mask;
            std::memcpy(dst, info.palette[index].data(), 3);
        }
        break;
    }
    case 16:
        for (std::size_t x = 0; x < width; ++x, dst += 3, src += 2) {
            const std::uint32_t v = U16(src);
            dst[0] = channels[0](v);
            dst[1] = channels[1](v);
            dst[2] = channels[2](v);
        }
        break;
    case 24:
        for (std::size_t x = 0; x < width; ++x, dst += 3, src += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        break;
    case 32:
        for (std::size_t x = 0; x < width; ++x, dst += 3, src += 4) {
            const std::uint32_t v = U32(src);
            dst[0] = channels[0](v);
            dst[1] = channels[1](v);
            dst[2] = channels[2](v);
        }
        break;
    default:
        break;
    }
}

std::uint64_t RowStride(const BmpInfo& info)
{
    return (static_cast<std::uint64_t>(info.width) * info.bitsPerPixel + 31) / 32 * 4;
}

/// Uncompressed rows must lie inside the data; the last one may lack its
/// padding. Checked before the image is allocated.
void CheckPixelExtent(const BmpInfo& info, std::size_t size)
{
    const std::uint64_t stride = RowStride(info);
    const std::uint64_t lastRow = (static_cast<std::uint64_t>(info.width) * info.bitsPerPixel + 7) / 8;
    const std::uint64_t available = size - info.pixelOffset;
    const auto fullRows = static_cast<std::uint64_t>(info.height - 1);
    if (lastRow > available || (fullRows > 0 && stride > (available - lastRow) / fullRows))
        Fail(msg::kBmpPixelsTruncated);
}

void DecodeUncompressed(const BmpInfo& info, std::span<const std::uint8_t> bytes, RgbImage& image)
{
    const std::uint64_t stride = RowStride(info);
    const Channel channels[3] = {Channel(info.masks[0]), Channel(info.masks[1]), Channel(info.masks[2])};
    for (std::int64_t row = 0; row < info.height; ++row) {
        const std::int64_t y = info.topDown ? row : info.height - 1 - row;
        ConvertRow(info, bytes.data() + info.pixelOffset + stride * static_cast<std::uint64_t>(row),
                   image.Row(static_cast<std::int32_t>(y)), channels);
    }
}

/// RLE8 and RLE4: pairs (count, value) for runs, (0, code) for escapes:
/// 0 end of line, 1 end of bitmap, 2 delta (dx, dy), 3..255 a literal run
/// padded to an even byte count. Rows go bottom-up. Pixels past a row's end
/// are dropped; data that ends inside a code is damage, data that ends
/// between codes ends the bitmap.
void DecodeRle(const BmpInfo& info, std::span<const std::uint8_t> bytes, RgbImage& image)
{
    const bool rle4 = info.compression == kRle4;
    const std::uint8_t* p = bytes.data() + info.pixelOffset;
    const std::uint8_t* const end = bytes.data() + bytes.size();
    const std::array<std::uint8_t, 3> fill = info.palette[0];
    for (std::size_t i = 0, n = image.SizeBytes(); i < n; i += 3) std::memcpy(image.Data() + i, fill.data(), 3);

    std::int64_t x = 0;
    std::int64_t row = 0;  // from the bottom
    auto put = [&](std::uint8_t index) {
        if (x < info.width && row < info.height) {
            std::uint8_t* out = image.Row(static_cast<std::int32_t>(info.height - 1 - row)) + x * 3;
            std::memcpy(out, info.palette[index].data(), 3);
        }
        ++x;
    };
    while (row < info.height && end - p >= 2) {
        const std::uint8_t count = p[0];
        const std::uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            for (std::uint32_t i = 0; i < count; ++i)
                put(rle4 ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (end - p < 2) Fail(msg::kBmpRleDamaged);
            x += p[0];
            row += p[1];
            p += 2;
        } else {  // literal run
            const std::size_t dataBytes = rle4 ? (value + 1u) / 2 : value;
            const std::size_t padded = (dataBytes + 1) & ~std::size_t{1};
            if (static_cast<std::size_t>(end - p) < dataBytes) Fail(msg::kBmpRleDamaged);
            for (std::uint32_t i = 0; i < value; ++i)
                put(rle4 ? static_cast<std::uint8_t>(i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 0x0F) : p[i]);
            p += std::min(padded, static_cast<std::size_t>(end - p));
        }
    }
}

} // namespace

RgbImage DecodeBmp(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    const BmpInfo info = ReadHeaders(bytes);
    CheckImageSize(info.width, info.height, maxPixels);
    const bool rle = info.compression == kRle8 || info.compression == kRle4;
    if (!rle) CheckPixelExtent(info, bytes.size());
    RgbImage image(static_cast<std::int32_t>(info.width), static_cast<std::int32_t>(info.height));
    if (rle)
        DecodeRle(info, bytes, image);
    else
        DecodeUncompressed(info, bytes, image);
    return image;
}

} // namespace orvane::image
