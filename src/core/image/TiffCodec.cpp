// TIFF through libtiff: the first directory.
//
// Read directly, by scanline or by tile, contiguous or separate planes:
// grey (1, 2, 4, 8 and 16 bits, min-is-black and min-is-white), palette
// (1, 2, 4 and 8 bits), RGB (8 and 16 bits), each with any extra samples,
// which are dropped (alpha). JPEG-compressed YCbCr is handed out as RGB by
// libtiff's JPEG codec. Everything else libtiff's RGBA interface can read
// (CMYK, subsampled YCbCr, CIE L*a*b*, …) goes through it a band of rows at
// a time; there the alpha is the library's (colours premultiplied).
//
// libtiff's errors and warnings go to handlers of this handle only: the
// first error becomes the message, warnings (such as the unknown GeoTIFF
// tags 33550, 33922 and 34735) are dropped. Nothing is printed.

#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace orvane::image {

namespace {

constexpr std::string_view kFormat = "TIFF";

/// The bytes libtiff reads, and the first error it reported.
struct TiffSource {
    const std::uint8_t* data = nullptr;
    toff_t size = 0;
    toff_t pos = 0;
    char error[512] = {};
};

tmsize_t TiffRead(thandle_t handle, void* out, tmsize_t count)
{
    auto* src = static_cast<TiffSource*>(handle);
    if (count <= 0 || src->pos >= src->size) return 0;
    const auto n = std::min<toff_t>(static_cast<toff_t>(count), src->size - src->pos);
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* src = static_cast<TiffSource*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR)
        base = src->pos;
    else if (whence == SEEK_END)
        base = src->size;
    src->pos = base + offset;  // offsets past the end read nothing
    return src->pos;
}

int TiffClose(thandle_t)
{
    return 0;
}

toff_t TiffSize(thandle_t handle)
{
    return static_cast<TiffSource*>(handle)->size;
}

/// Hands libtiff the bytes as a read-only "mapped file", so uncompressed
/// strips are read in place.
int TiffMap(thandle_t handle, void** base, toff_t* size)
{
    auto* src = static_cast<TiffSource*>(handle);
    *base = const_cast<std::uint8_t*>(src->data);
    *size = src->size;
    return 1;
}

void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffOnError(TIFF*, void* user, const char*, const char* format, va_list args)
{
    auto* src = static_cast<TiffSource*>(user);
    if (src->error[0] == '\0') std::vsnprintf(src->error, sizeof src->error, format, args);
    return 1;  // handled: the process-wide handler is not called
}

int TiffOnWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

[[noreturn]] void Fail(const TiffSource& src)
{
    throw Error(msg::ImageDataInvalid(
        kFormat, src.error[0] != '\0' ? std::string(src.error) : std::string(msg::kImageDataTruncated)));
}

class TiffHandle {
public:
    explicit TiffHandle(TiffSource& src)
    {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options == nullptr) throw std::bad_alloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, TiffOnError, &src);
        TIFFOpenOptionsSetWarningHandlerExtR(options, TiffOnWarning, nullptr);
        m_tif = TIFFClientOpenExt("image", "r", &src, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                                  TiffUnmap, options);
        TIFFOpenOptionsFree(options);
        if (m_tif == nullptr) Fail(src);
    }
    ~TiffHandle() { TIFFClose(m_tif); }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;
    TIFF* get() const { return m_tif; }

private:
    TIFF* m_tif = nullptr;
};

enum class Kind { Grey, GreyInverted, Palette, Rgb };

/// How stored samples become RGB.
struct Layout {
    Kind kind = Kind::Grey;
    std::uint32_t bits = 8;     // per sample
    std::uint32_t samples = 1;  // per pixel in a contiguous row
    bool separate = false;
    std::array<std::array<std::uint8_t, 3>, 256> palette{};
};

std::uint32_t RawSample(const std::uint8_t* row, std::size_t index, std::uint32_t bits)
{
    switch (bits) {
    case 8: return row[index];
    case 16: {
        std::uint16_t v = 0;  // libtiff has already swapped to host order
        std::memcpy(&v, row + index * 2, 2);
        return v;
    }
    default: {  // 1, 2 or 4 bits, first pixel in the high bits
        const std::size_t bit = index * bits;
        return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    }
}

std::uint8_t To8Bits(std::uint32_t v, std::uint32_t bits)
{
    if (bits == 8) return static_cast<std::uint8_t>(v);
    if (bits == 16) return static_cast<std::uint8_t>(v >> 8);
    return static_cast<std::uint8_t>(v * 255 / ((1u << bits) - 1));
}

/// Converts count pixels of one stored row. Contiguous rows carry every
/// sample; a row of plane p of a separate-plane image carries sample p only,
/// which fills RGB channel p (or all three channels for grey and palette,
/// which read plane 0 only).
void ConvertRun(const Layout& layout, const std::uint8_t* src, std::size_t count, std::uint8_t* dst,
                std::uint32_t plane)
{
    const std::size_t step = layout.separate ? 1 : layout.samples;
    const std::uint32_t bits = layout.bits;
    switch (layout.kind) {
    case Kind::Grey:
    case Kind::GreyInverted:
        for (std::size_t x = 0; x < count; ++x, dst += 3) {
            std::uint8_t v = To8Bits(RawSample(src, x * step, bits), bits);
            if (layout.kind == Kind::GreyInverted) v = static_cast<std::uint8_t>(255 - v);
            dst[0] = dst[1] = dst[2] = v;
        }
        break;
    case Kind::Palette:
        for (std::size_t x = 0; x < count; ++x, dst += 3)
            std::memcpy(dst, layout.palette[RawSample(src, x * step, bits) & 0xFF].data(), 3);
        break;
    case Kind::Rgb:
        if (layout.separate) {
            for (std::size_t x = 0; x < count; ++x) dst[x * 3 + plane] = To8Bits(RawSample(src, x, bits), bits);
        } else if (bits == 8 && step == 3) {
            std::memcpy(dst, src, count * 3);
        } else {
            for (std::size_t x = 0; x < count; ++x, dst += 3)
                for (std::size_t c = 0; c < 3; ++c) dst[c] = To8Bits(RawSample(src, x * step + c, bits), bits);
        }
        break;
    }
}

/// The layout when the direct path reads this image; false sends it to the
/// RGBA interface.
bool DirectLayout(TIFF* tif, Layout& layout)
{
    std::uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    std::uint16_t photometric = 0, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) return false;
    if (samples == 0) return false;
    layout.bits = bits;
    layout.samples = samples;
    layout.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return false;
        photometric = PHOTOMETRIC_RGB;
    }
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        layout.kind = photometric == PHOTOMETRIC_MINISWHITE ? Kind::GreyInverted : Kind::Grey;
        return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    case PHOTOMETRIC_RGB:
        layout.kind = Kind::Rgb;
        return samples >= 3 && (bits == 8 || bits == 16);
    case PHOTOMETRIC_PALETTE: {
        layout.kind = Kind::Palette;
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return false;
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return false;
        const std::size_t entries = std::size_t{1} << bits;
        // Some writers store 8-bit values in the 16-bit colour map.
        bool eightBit = true;
        for (std::size_t i = 0; i < entries; ++i)
            if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
        const int shift = eightBit ? 0 : 8;
        for (std::size_t i = 0; i < entries; ++i)
            layout.palette[i] = {static_cast<std::uint8_t>(red[i] >> shift),
                                 static_cast<std::uint8_t>(green[i] >> shift),
                                 static_cast<std::uint8_t>(blue[i] >> shift)};
        return true;
    }
    default:
        return false;
    }
}

void ReadScanlines(TIFF* tif, const TiffSource& src, const Layout& layout, RgbImage& image)
{
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize64(tif)));
    const std::uint32_t planes = layout.separate && layout.kind == Kind::Rgb ? 3 : 1;
    const auto width = static_cast<std::size_t>(image.Width());
    // Each plane is read top to bottom, as compressed strips require.
    for (std::uint32_t plane = 0; plane < planes; ++plane)
        for (std::int32_t y = 0; y < image.Height(); ++y) {
            const auto row = static_cast<std::uint32_t>(y);
            if (TIFFReadScanline(tif, line.data(), row, static_cast<std::uint16_t>(plane)) < 0) Fail(src);
            ConvertRun(layout, line.data(), width, image.Row(y), plane);
        }
}

void ReadTiles(TIFF* tif, const TiffSource& src, const Layout& layout, std::uint64_t maxPixels, RgbImage& image)
{
    std::uint32_t tileWidth = 0, tileHeight = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight))
        Fail(src);
    CheckImageSize(tileWidth, tileHeight, maxPixels);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize64(tif)));
    const auto rowBytes = static_cast<std::size_t>(TIFFTileRowSize64(tif));
    if (tile.empty() || rowBytes == 0 || rowBytes * tileHeight > tile.size()) Fail(src);
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    const std::uint32_t planes = layout.separate && layout.kind == Kind::Rgb ? 3 : 1;
    for (std::uint32_t plane = 0; plane < planes; ++plane)
        for (std::uint32_t ty = 0; ty < height; ty += tileHeight)
            for (std::uint32_t tx = 0; tx < width; tx += tileWidth) {
                if (TIFFReadTile(tif, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(plane)) < 0) Fail(src);
                const std::uint32_t rows = std::min(tileHeight, height - ty);
                const std::uint32_t cols = std::min(tileWidth, width - tx);
                for (std::uint32_t r = 0; r < rows; ++r)
                    ConvertRun(layout, tile.data() + rowBytes * r, cols,
                               image.Row(static_cast<std::int32_t>(ty + r)) + std::size_t{tx} * 3, plane);
            }
}

class RgbaReader {
public:
    RgbaReader(TIFF* tif, const TiffSource& src)
    {
        char error[1024] = {};
        if (!TIFFRGBAImageOK(tif, error) || !TIFFRGBAImageBegin(&m_image, tif, 0, error))
            throw Error(msg::ImageDataInvalid(kFormat, src.error[0] != '\0' ? src.error : error));
    }
    ~RgbaReader() { TIFFRGBAImageEnd(&m_image); }
    RgbaReader(const RgbaReader&) = delete;
    RgbaReader& operator=(const RgbaReader&) = delete;
    TIFFRGBAImage& image() { return m_image; }

private:
    TIFFRGBAImage m_image{};
};

/// The RGBA interface, a band of whole strips (or tile rows) at a time,
/// and at most about 64 MB of raster.
void ReadThroughRgba(TIFF* tif, const TiffSource& src, RgbaReader& reader, RgbImage& image)
{
    TIFFRGBAImage& rgba = reader.image();
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    std::uint32_t band = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    const auto maxBand =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>((64u << 20) / (4 * std::uint64_t{width})));
    band = std::clamp<std::uint32_t>(band, 1, std::min(height, maxBand));
    std::vector<std::uint32_t> raster(std::size_t{width} * band);
    for (std::uint32_t y = 0; y < height; y += band) {
        const std::uint32_t rows = std::min(band, height - y);
        rgba.row_offset = static_cast<int>(y);
        rgba.col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba, raster.data(), width, rows)) Fail(src);
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t* in = raster.data() + std::size_t{width} * r;
            std::uint8_t* out = image.Row(static_cast<std::int32_t>(y + r));
            for (std::uint32_t x = 0; x < width; ++x, out += 3) {
                out[0] = static_cast<std::uint8_t>(TIFFGetR(in[x]));
                out[1] = static_cast<std::uint8_t>(TIFFGetG(in[x]));
                out[2] = static_cast<std::uint8_t>(TIFFGetB(in[x]));
            }
        }
    }
}

} // namespace

RgbImage DecodeTiff(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    TiffSource src;
    src.data = bytes.data();
    src.size = bytes.size();
    const TiffHandle handle(src);
    TIFF* tif = handle.get();
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) Fail(src);
    CheckImageSize(width, height, maxPixels);
    Layout layout;
    const bool direct = DirectLayout(tif, layout);
    if (!direct) {
        RgbaReader reader(tif, src);  // refuses what libtiff cannot read, before allocating
        RgbImage image(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
        ReadThroughRgba(tif, src, reader, image);
        return image;
    }
    RgbImage image(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    if (TIFFIsTiled(tif))
        ReadTiles(tif, src, layout, maxPixels, image);
    else
        ReadScanlines(tif, src, layout, image);
    return image;
}

} // namespace orvane::image
