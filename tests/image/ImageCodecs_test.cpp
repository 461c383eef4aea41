#include "image/ImageCodecs.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"
#include "util/Error.hpp"

#include <gtest/gtest.h>

#include <cstdio>  // before jpeglib.h, which uses FILE
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace orvane::image {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

std::uint8_t U8(int v)
{
    return static_cast<std::uint8_t>(v & 0xFF);
}

/// Failure messages name a table row rather than dumping its bytes.
template <class Row>
    requires requires(const Row& r) { r.name; }
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

// ---- test patterns ----------------------------------------------------------

Rgb Colour(int x, int y)
{
    return {U8(x * 19 + y * 3), U8(y * 37 + 11), U8(x * y * 5 + 60)};
}

std::uint8_t GreyLevel(int x, int y)
{
    return U8(x * 23 + y * 41);
}

Rgb Grey(int x, int y)
{
    const std::uint8_t v = GreyLevel(x, y);
    return {v, v, v};
}

/// Smooth enough for lossy codecs to come back close.
Rgb Smooth(int x, int y)
{
    return {U8(40 + x * 3), U8(30 + y * 4), U8(200 - x - y)};
}

const Rgb kPalette[16] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {255, 255, 0},
                          {0, 255, 255}, {255, 0, 255},   {128, 0, 0},   {0, 128, 0},   {0, 0, 128},   {128, 128, 0},
                          {12, 34, 56},  {78, 90, 123},   {200, 100, 50}, {1, 2, 3}};

int PaletteIndex(int x, int y)
{
    return (x + 3 * y) % 16;
}

Rgb PaletteColour(int x, int y)
{
    return kPalette[PaletteIndex(x, y)];
}

::testing::AssertionResult Matches(const RgbImage& image, int width, int height, const std::function<Rgb(int, int)>& expected,
                                   int tolerance)
{
    if (image.Width() != width || image.Height() != height)
        return ::testing::AssertionFailure() << "size " << image.Width() << " x " << image.Height() << ", expected "
                                             << width << " x " << height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = image.Row(y) + x * 3;
            const Rgb e = expected(x, y);
            const int d = std::max({std::abs(p[0] - e.r), std::abs(p[1] - e.g), std::abs(p[2] - e.b)});
            if (d > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << int(p[0]) << "," << int(p[1]) << "," << int(p[2])
                       << ", expected " << int(e.r) << "," << int(e.g) << "," << int(e.b);
        }
    return ::testing::AssertionSuccess();
}

RgbImage MakeImage(int width, int height, const std::function<Rgb(int, int)>& pixel)
{
    RgbImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            std::uint8_t* p = image.Row(y) + x * 3;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    return image;
}

/// Packs one row of samples, first sample in the high bits below 8 bits;
/// 16-bit samples big-endian (PNG) or in host order (libtiff).
Bytes PackRow(int pixels, int samplesPerPixel, int depth, const std::function<unsigned(int x, int c)>& sample,
              bool bigEndian16)
{
    const std::size_t count = static_cast<std::size_t>(pixels) * static_cast<std::size_t>(samplesPerPixel);
    Bytes row((count * static_cast<std::size_t>(depth) + 7) / 8, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned v = sample(static_cast<int>(i) / samplesPerPixel, static_cast<int>(i) % samplesPerPixel);
        if (depth == 8) {
            row[i] = U8(static_cast<int>(v));
        } else if (depth == 16) {
            const auto v16 = static_cast<std::uint16_t>(v);
            if (bigEndian16) {
                row[2 * i] = U8(v16 >> 8);
                row[2 * i + 1] = U8(v16);
            } else {
                std::memcpy(&row[2 * i], &v16, 2);
            }
        } else {
            const std::size_t bit = i * static_cast<std::size_t>(depth);
            row[bit / 8] |= U8(static_cast<int>(v << (8 - depth - bit % 8)));
        }
    }
    return row;
}

// ---- PNG fixtures (libpng) ----------------------------------------------------

struct PngSpec {
    int width = 13, height = 7;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlace = false;
    std::vector<Rgb> palette{};
    std::vector<png_byte> transparency{};
    std::function<unsigned(int x, int y, int c)> sample{};
};

Bytes PngFile(const PngSpec& s)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes out;
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, std::size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), s.depth, s.colourType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const Rgb& c : s.palette) palette.push_back({c.r, c.g, c.b});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!s.transparency.empty())
        png_set_tRNS(png, info, s.transparency.data(), static_cast<int>(s.transparency.size()), nullptr);
    png_write_info(png, info);
    const int channels = s.colourType == PNG_COLOR_TYPE_RGB         ? 3
                         : s.colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : s.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                     : 1;
    std::vector<Bytes> rows;
    std::vector<png_bytep> pointers;
    for (int y = 0; y < s.height; ++y)
        rows.push_back(PackRow(s.width, channels, s.depth, [&](int x, int c) { return s.sample(x, y, c); }, true));
    for (Bytes& r : rows) pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

unsigned RgbSample(int x, int y, int c)
{
    const Rgb v = Colour(x, y);
    return c == 0 ? v.r : c == 1 ? v.g : c == 2 ? v.b : U8(x * 40 + y);  // c 3: alpha
}

/// A chunk with its length and CRC.
void AppendChunk(Bytes& png, const char* type, const Bytes& data)
{
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(U8(static_cast<int>(n >> shift)));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(U8(static_cast<int>(crc >> shift)));
}

/// A valid PNG header claiming width × height, with an empty IDAT: enough
/// for a decoder to learn the size.
Bytes PngClaiming(std::uint32_t width, std::uint32_t height)
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    for (std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(U8(static_cast<int>(v >> shift)));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    AppendChunk(png, "IHDR", ihdr);
    AppendChunk(png, "IDAT", {});
    AppendChunk(png, "IEND", {});
    return png;
}

// ---- GIF fixtures (giflib) ----------------------------------------------------

struct GifFrameSpec {
    int left = 0, top = 0, width = 13, height = 7;
    bool interlace = false;
    std::vector<Rgb> localColours{};
    int (*index)(int x, int y) = PaletteIndex;
    int transparent = -1;
};

ColorMapObject* MakeColourMap(const std::vector<Rgb>& colours)
{
    int size = 2;
    while (size < static_cast<int>(colours.size())) size *= 2;
    std::vector<GifColorType> entries(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colours.size(); ++i) entries[i] = {colours[i].r, colours[i].g, colours[i].b};
    return GifMakeMapObject(size, entries.data());
}

Bytes GifFile(int screenWidth, int screenHeight, int background, const std::vector<Rgb>& globalColours,
              const std::vector<GifFrameSpec>& frames)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int n) {
            auto* o = static_cast<Bytes*>(g->UserData);
            o->insert(o->end(), data, data + n);
            return n;
        },
        &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = globalColours.empty() ? nullptr : MakeColourMap(globalColours);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, background, global);
    GifFreeMapObject(global);
    for (const GifFrameSpec& f : frames) {
        if (f.transparent >= 0) {
            GraphicsControlBlock gcb{};
            gcb.TransparentColor = f.transparent;
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        }
        ColorMapObject* local = f.localColours.empty() ? nullptr : MakeColourMap(f.localColours);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local);
        GifFreeMapObject(local);
        std::vector<int> order;
        if (f.interlace) {
            for (int start : {0, 4, 2, 1})
                for (int y = start; y < f.height; y += start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2)
                    order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        std::vector<GifPixelType> line(static_cast<std::size_t>(f.width));
        for (int y : order) {
            for (int x = 0; x < f.width; ++x) line[static_cast<std::size_t>(x)] = U8(f.index(x, y));
            EGifPutLine(gif, line.data(), f.width);
        }
    }
    EGifCloseFile(gif, &error);
    return out;
}

std::vector<Rgb> PaletteVector()
{
    return std::vector<Rgb>(std::begin(kPalette), std::end(kPalette));
}

// ---- TIFF fixtures (libtiff, through a temporary file) ------------------------

struct TiffSpec {
    int width = 13, height = 7;
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t bits = 8;
    std::uint16_t samples = 3;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint32_t rowsPerStrip = 3;
    std::uint32_t tileWidth = 0, tileHeight = 0;  // tiled when set
    std::vector<std::uint16_t> extraSamples{};
    std::vector<std::uint16_t> colourMap{};  // red, green, blue tables one after another
    bool geoTags = false;
    std::function<unsigned(int x, int y, int c)> sample{};
};

Bytes TiffFile(const TiffSpec& s)
{
    test::TempDir dir;
    const auto path = dir / "fixture.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(s.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(s.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, s.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
    if (s.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (!s.extraSamples.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(s.extraSamples.size()), s.extraSamples.data());
    if (!s.colourMap.empty()) {
        const std::size_t n = s.colourMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, s.colourMap.data(), s.colourMap.data() + n, s.colourMap.data() + 2 * n);
    }
    if (s.geoTags) {
        static const TIFFFieldInfo kGeoFields[] = {
            {33550, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelPixelScaleTag")},
            {33922, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("ModelTiepointTag")},
            {34735, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("GeoKeyDirectoryTag")},
        };
        TIFFMergeFieldInfo(tif, kGeoFields, 3);
        const double scale[3] = {0.001, 0.001, 0};
        const double tiepoint[6] = {0, 0, 0, 30.5, 60.25, 0};
        const std::uint16_t keys[8] = {1, 1, 0, 1, 1024, 0, 1, 2};
        TIFFSetField(tif, 33550, 3, scale);
        TIFFSetField(tif, 33922, 6, tiepoint);
        TIFFSetField(tif, 34735, 8, keys);
    }
    const bool separate = s.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? s.samples : 1;
    const int perPixel = separate ? 1 : s.samples;
    // Tiles reaching past the image repeat its edge, so that lossy tiles do
    // not blur padding into the image.
    auto sampleOf = [&](int x, int y, int plane, int c) -> unsigned {
        return s.sample(std::min(x, s.width - 1), std::min(y, s.height - 1), separate ? plane : c);
    };
    if (s.tileWidth != 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, s.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, s.tileHeight);
        Bytes tile(static_cast<std::size_t>(TIFFTileSize(tif)));
        const auto rowBytes = static_cast<std::size_t>(TIFFTileRowSize(tif));
        for (int plane = 0; plane < planes; ++plane)
            for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(s.height); ty += s.tileHeight)
                for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(s.width); tx += s.tileWidth) {
                    for (std::uint32_t r = 0; r < s.tileHeight; ++r) {
                        const Bytes row = PackRow(
                            static_cast<int>(s.tileWidth), perPixel, s.bits,
                            [&](int x, int c) {
                                return sampleOf(static_cast<int>(tx) + x, static_cast<int>(ty + r), plane, c);
                            },
                            false);
                        std::memcpy(tile.data() + rowBytes * r, row.data(), row.size());
                    }
                    TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<std::uint16_t>(plane));
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip);
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < s.height; ++y) {
                Bytes row = PackRow(s.width, perPixel, s.bits, [&](int x, int c) { return sampleOf(x, y, plane, c); }, false);
                TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(plane));
            }
    }
    TIFFClose(tif);
    const std::string bytes = test::ReadFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

std::vector<std::uint16_t> TiffColourMap(int bits, bool eightBitValues)
{
    const std::size_t n = std::size_t{1} << bits;
    std::vector<std::uint16_t> map(3 * n, 0);
    for (std::size_t i = 0; i < n && i < 16; ++i) {
        const Rgb c = kPalette[i];
        const int scale = eightBitValues ? 1 : 257;
        map[i] = static_cast<std::uint16_t>(c.r * scale);
        map[n + i] = static_cast<std::uint16_t>(c.g * scale);
        map[2 * n + i] = static_cast<std::uint16_t>(c.b * scale);
    }
    return map;
}

/// CMYK ink from a colour: no black ink except where the pattern adds some.
unsigned CmykSample(int x, int y, int c)
{
    const Rgb v = Smooth(x, y);
    return c == 0 ? 255u - v.r : c == 1 ? 255u - v.g : c == 2 ? 255u - v.b : unsigned(x * 2);
}

/// libtiff's RGBA conversion of CMYK: each channel times (255 - K), cut.
Rgb CmykAsRgb(int x, int y)
{
    const Rgb v = Smooth(x, y);
    const int k = 255 - x * 2;
    return {U8(v.r * k / 255), U8(v.g * k / 255), U8(v.b * k / 255)};
}

// ---- JPEG fixtures (libjpeg) ----------------------------------------------------

struct JpegSpec {
    int width = 48, height = 40;
    int components = 3;
    J_COLOR_SPACE input = JCS_RGB;
    J_COLOR_SPACE stored = JCS_UNKNOWN;  // unknown: libjpeg's default for the input
    bool progressive = false;
    bool adobeMarker = true;
    std::function<unsigned(int x, int y, int c)> sample{};
};

Bytes JpegFile(const JpegSpec& s)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(s.width);
    cinfo.image_height = static_cast<JDIMENSION>(s.height);
    cinfo.input_components = s.components;
    cinfo.in_color_space = s.input;
    jpeg_set_defaults(&cinfo);
    if (s.stored != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, s.stored);
    cinfo.write_Adobe_marker = s.adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (s.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < s.height; ++y) {
        Bytes row = PackRow(s.width, s.components, 8, [&](int x, int c) { return s.sample(x, y, c); }, false);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

unsigned SmoothSample(int x, int y, int c)
{
    const Rgb v = Smooth(x, y);
    return c == 0 ? v.r : c == 1 ? v.g : v.b;
}

/// Adobe CMYK is stored inverted: 255 is no ink.
unsigned AdobeCmykSample(int x, int y, int c)
{
    return c < 3 ? SmoothSample(x, y, c) : 255u - unsigned(x);
}

Rgb AdobeCmykAsRgb(int x, int y)
{
    const Rgb v = Smooth(x, y);
    const int k = 255 - x;
    return {U8((v.r * k + 127) / 255), U8((v.g * k + 127) / 255), U8((v.b * k + 127) / 255)};
}

Rgb SmoothLuma(int x, int y)
{
    const Rgb v = Smooth(x, y);
    const auto l = U8(static_cast<int>(0.299 * v.r + 0.587 * v.g + 0.114 * v.b + 0.5));
    return {l, l, l};
}

// ---- BMP fixtures (bytes by hand) -----------------------------------------------

void PutU16(Bytes& b, unsigned v)
{
    b.push_back(U8(static_cast<int>(v)));
    b.push_back(U8(static_cast<int>(v >> 8)));
}

void PutU32(Bytes& b, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) b.push_back(U8(static_cast<int>(v >> shift)));
}

struct BmpSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 13;
    std::int32_t height = 7;  // negative: top-down
    std::uint16_t planes = 1;
    std::uint16_t bpp = 24;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette{};
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> masks{};  // after a 40-byte header, inside a larger one
    Bytes pixels{};
    std::int64_t offsetShift = 0;  // added to the true pixel offset
};

Bytes BmpFile(const BmpSpec& s)
{
    Bytes dib;
    if (s.headerSize == 12) {
        PutU32(dib, 12);
        PutU16(dib, static_cast<unsigned>(s.width));
        PutU16(dib, static_cast<unsigned>(s.height));
        PutU16(dib, s.planes);
        PutU16(dib, s.bpp);
    } else {
        PutU32(dib, s.headerSize);
        PutU32(dib, static_cast<std::uint32_t>(s.width));
        PutU32(dib, static_cast<std::uint32_t>(s.height));
        PutU16(dib, s.planes);
        PutU16(dib, s.bpp);
        PutU32(dib, s.compression);
        PutU32(dib, static_cast<std::uint32_t>(s.pixels.size()));
        PutU32(dib, 2835);
        PutU32(dib, 2835);
        PutU32(dib, s.coloursUsed);
        PutU32(dib, 0);
        if (s.headerSize > 40)
            for (std::uint32_t m : s.masks) PutU32(dib, m);
        dib.resize(s.headerSize, 0);
        if (s.headerSize == 40)
            for (std::uint32_t m : s.masks) PutU32(dib, m);
    }
    for (const Rgb& c : s.palette) {
        dib.insert(dib.end(), {c.b, c.g, c.r});
        if (s.headerSize != 12) dib.push_back(0);
    }
    Bytes file = {'B', 'M'};
    PutU32(file, static_cast<std::uint32_t>(14 + dib.size() + s.pixels.size()));
    PutU32(file, 0);
    PutU32(file, static_cast<std::uint32_t>(14 + static_cast<std::int64_t>(dib.size()) + s.offsetShift));
    file.insert(file.end(), dib.begin(), dib.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

/// Stored rows with their padding, bottom row first unless topDown. value
/// gives the stored pixel: a palette index, a 16- or 32-bit word, or
/// 0xRRGGBB for 24 bits.
Bytes BmpRows(int width, int height, int bpp, bool topDown, const std::function<std::uint32_t(int x, int y)>& value)
{
    const std::size_t stride = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp) + 31) / 32 * 4;
    Bytes out;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int y = topDown ? fileRow : height - 1 - fileRow;
        Bytes row;
        if (bpp <= 8) {
            row = PackRow(width, 1, bpp, [&](int x, int) { return value(x, y); }, false);
        } else {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = value(x, y);
                if (bpp == 16) PutU16(row, v);
                if (bpp == 24)
                    for (int shift : {0, 8, 16}) row.push_back(U8(static_cast<int>(v >> shift)));
                if (bpp == 32) PutU32(row, v);
            }
        }
        row.resize(stride, 0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::uint32_t Packed24(int x, int y)
{
    const Rgb c = Colour(x, y);
    return static_cast<std::uint32_t>(c.r << 16 | c.g << 8 | c.b);
}

BmpSpec Bmp24(bool topDown)
{
    BmpSpec s;
    s.height = topDown ? -7 : 7;
    s.pixels = BmpRows(13, 7, 24, topDown, Packed24);
    return s;
}

const Rgb kTwoColours[2] = {{10, 20, 30}, {200, 150, 100}};

Rgb Bmp1Expected(int x, int y)
{
    return kTwoColours[(x * y + x) % 2];
}

/// 20 colours in the table, indices up to 23 in the pixels: the rest are black.
Rgb Bmp8Palette(int i)
{
    return {U8(i * 10), U8(255 - i * 10), U8(i * 3)};
}
int Bmp8Index(int x, int y)
{
    return (x + 3 * y) % 24;
}
Rgb Bmp8Expected(int x, int y)
{
    const int i = Bmp8Index(x, y);
    return i < 20 ? Bmp8Palette(i) : Rgb{0, 0, 0};
}
BmpSpec Bmp8(bool topDown)
{
    BmpSpec s;
    s.bpp = 8;
    s.height = topDown ? -7 : 7;
    s.coloursUsed = 20;
    for (int i = 0; i < 20; ++i) s.palette.push_back(Bmp8Palette(i));
    s.pixels = BmpRows(13, 7, 8, topDown, [](int x, int y) { return static_cast<std::uint32_t>(Bmp8Index(x, y)); });
    return s;
}

// 16-bit fields, 5 bits each unless 565.
int Field5(int x, int y, int c)
{
    return c == 0 ? (x + y) % 32 : c == 1 ? (x * 3) % 32 : (y * 5 + x) % 32;
}
Rgb Bmp555Expected(int x, int y)
{
    auto s = [&](int c) { return U8((Field5(x, y, c) * 255 + 15) / 31); };
    return {s(0), s(1), s(2)};
}
Rgb Bmp565Expected(int x, int y)
{
    const int g6 = (x * 5 + y) % 64;
    return {U8((Field5(x, y, 0) * 255 + 15) / 31), U8((g6 * 255 + 31) / 63), U8((Field5(x, y, 2) * 255 + 15) / 31)};
}

// RLE8, 6 x 4, palette entries 0..5. Bottom row first:
//   row 0: run 3 × 1, literal 2 3 4, end of line
//   row 1: run 2 × 5, delta (2, 0), run 2 × 1, end of line
//   row 2: delta (3, 1): skips the rest of row 2 and three pixels of row 3
//   row 3: run 3 × 4, end of bitmap
const Bytes kRle8Stream = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 2, 5, 0, 2, 2, 0, 2, 1, 0, 0, 0, 2, 3, 1, 3, 4, 0, 1};
const int kRle8Indices[4][6] = {{0, 0, 0, 4, 4, 4}, {0, 0, 0, 0, 0, 0}, {5, 5, 0, 0, 1, 1}, {1, 1, 1, 2, 3, 4}};
Rgb Rle8Expected(int x, int y)
{
    return kPalette[kRle8Indices[y][x] + 2];  // palette entry i is kPalette[i + 2]
}

// RLE4, 5 x 2. Row 0: run of 5 alternating 1, 2; end of line. Row 1:
// literal 3 4 5 (two bytes), run 2 × 7, end of bitmap.
const Bytes kRle4Stream = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0x77, 0, 1};
const int kRle4Indices[2][5] = {{3, 4, 5, 7, 7}, {1, 2, 1, 2, 1}};
Rgb Rle4Expected(int x, int y)
{
    return kPalette[kRle4Indices[y][x] + 2];
}

std::vector<Rgb> ShiftedPalette(int count)
{
    std::vector<Rgb> p;
    for (int i = 0; i < count; ++i) p.push_back(kPalette[i + 2]);
    return p;
}

// ---- decoding round trips ----------------------------------------------------------

struct DecodeCase {
    const char* name;
    ImageType type;
    Bytes (*make)();
    int width, height;
    Rgb (*expected)(int x, int y);
    int tolerance;  // largest channel difference allowed
};

const DecodeCase kDecodeCases[] = {
    // PNG: every colour type and depth ends as 8-bit RGB; alpha and tRNS are dropped.
    {"png_rgb8", ImageType::Png, [] { return PngFile({.sample = RgbSample}); }, 13, 7, Colour, 0},
    {"png_rgba8_alpha_dropped", ImageType::Png,
     [] { return PngFile({.colourType = PNG_COLOR_TYPE_RGB_ALPHA, .sample = RgbSample}); }, 13, 7, Colour, 0},
    {"png_rgb16_high_byte", ImageType::Png,
     [] {
         return PngFile({.depth = 16, .sample = [](int x, int y, int c) { return RgbSample(x, y, c) << 8 | U8(x * 31); }});
     },
     13, 7, Colour, 0},
    {"png_grey1", ImageType::Png,
     [] {
         return PngFile({.colourType = PNG_COLOR_TYPE_GRAY, .depth = 1,
                         .sample = [](int x, int y, int) { return unsigned((x + y) % 2); }});
     },
     13, 7, [](int x, int y) { return (x + y) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }, 0},
    {"png_grey8", ImageType::Png,
     [] {
         return PngFile(
             {.colourType = PNG_COLOR_TYPE_GRAY, .sample = [](int x, int y, int) { return unsigned(GreyLevel(x, y)); }});
     },
     13, 7, Grey, 0},
    {"png_grey_alpha8", ImageType::Png,
     [] {
         return PngFile({.colourType = PNG_COLOR_TYPE_GRAY_ALPHA,
                         .sample = [](int x, int y, int c) { return c == 0 ? unsigned(GreyLevel(x, y)) : 7u; }});
     },
     13, 7, Grey, 0},
    {"png_palette4_with_trns", ImageType::Png,
     [] {
         return PngFile({.colourType = PNG_COLOR_TYPE_PALETTE, .depth = 4, .palette = PaletteVector(),
                         .transparency = {0, 128, 255, 0},
                         .sample = [](int x, int y, int) { return unsigned(PaletteIndex(x, y)); }});
     },
     13, 7, PaletteColour, 0},
    {"png_interlaced_rgb8", ImageType::Png, [] { return PngFile({.interlace = true, .sample = RgbSample}); }, 13, 7,
     Colour, 0},

    // GIF: the first frame on the logical screen.
    {"gif_global_palette", ImageType::Gif, [] { return GifFile(13, 7, 0, PaletteVector(), {GifFrameSpec{}}); }, 13, 7,
     PaletteColour, 0},
    {"gif_interlaced", ImageType::Gif,
     [] { return GifFile(13, 11, 0, PaletteVector(), {GifFrameSpec{.height = 11, .interlace = true}}); }, 13, 11,
     PaletteColour, 0},
    {"gif_local_palette_wins", ImageType::Gif,
     [] {
         return GifFile(13, 7, 0, {{9, 9, 9}, {8, 8, 8}}, {GifFrameSpec{.localColours = PaletteVector()}});
     },
     13, 7, PaletteColour, 0},
    {"gif_frame_offset_on_background", ImageType::Gif,
     [] { return GifFile(13, 7, 2, PaletteVector(), {GifFrameSpec{.left = 3, .top = 2, .width = 5, .height = 4}}); },
     13, 7,
     [](int x, int y) {
         const bool inside = x >= 3 && x < 8 && y >= 2 && y < 6;
         return inside ? PaletteColour(x - 3, y - 2) : kPalette[2];
     },
     0},
    {"gif_no_global_table_black_background", ImageType::Gif,
     [] {
         return GifFile(13, 7, 0, {},
                        {GifFrameSpec{.left = 1, .top = 1, .width = 5, .height = 4, .localColours = PaletteVector()}});
     },
     13, 7,
     [](int x, int y) {
         const bool inside = x >= 1 && x < 6 && y >= 1 && y < 5;
         return inside ? PaletteColour(x - 1, y - 1) : Rgb{0, 0, 0};
     },
     0},
    {"gif_frame_larger_than_screen", ImageType::Gif, [] { return GifFile(4, 4, 0, PaletteVector(), {GifFrameSpec{}}); },
     13, 7, PaletteColour, 0},
    {"gif_transparent_index_keeps_colour_second_frame_ignored", ImageType::Gif,
     [] {
         return GifFile(13, 7, 0, PaletteVector(),
                        {GifFrameSpec{.transparent = 3}, GifFrameSpec{.index = [](int, int) { return 1; }}});
     },
     13, 7, PaletteColour, 0},

    // TIFF: strips and tiles, contiguous and separate planes.
    {"tiff_rgb8_strips", ImageType::Tiff, [] { return TiffFile({.sample = RgbSample}); }, 13, 7, Colour, 0},
    {"tiff_rgb8_separate_planes", ImageType::Tiff,
     [] { return TiffFile({.planar = PLANARCONFIG_SEPARATE, .sample = RgbSample}); }, 13, 7, Colour, 0},
    {"tiff_rgba8_alpha_dropped", ImageType::Tiff,
     [] { return TiffFile({.samples = 4, .extraSamples = {EXTRASAMPLE_UNASSALPHA}, .sample = RgbSample}); }, 13, 7,
     Colour, 0},
    {"tiff_rgb16", ImageType::Tiff,
     [] {
         return TiffFile({.bits = 16, .sample = [](int x, int y, int c) { return RgbSample(x, y, c) << 8 | U8(x * 31); }});
     },
     13, 7, Colour, 0},
    {"tiff_grey8", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1,
                          .sample = [](int x, int y, int) { return unsigned(GreyLevel(x, y)); }});
     },
     13, 7, Grey, 0},
    {"tiff_grey1_min_is_white", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISWHITE, .bits = 1, .samples = 1,
                          .sample = [](int x, int y, int) { return unsigned((x * y) % 3 == 0); }});
     },
     13, 7, [](int x, int y) { return (x * y) % 3 == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; }, 0},
    {"tiff_grey8_min_is_white", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISWHITE, .samples = 1,
                          .sample = [](int x, int y, int) { return unsigned(GreyLevel(x, y)); }});
     },
     13, 7,
     [](int x, int y) {
         const auto v = U8(255 - GreyLevel(x, y));
         return Rgb{v, v, v};
     },
     0},
    {"tiff_grey4", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISBLACK, .bits = 4, .samples = 1,
                          .sample = [](int x, int y, int) { return unsigned((x + y) % 16); }});
     },
     13, 7,
     [](int x, int y) {
         const auto v = U8((x + y) % 16 * 17);
         return Rgb{v, v, v};
     },
     0},
    {"tiff_grey_alpha_separate_planes", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISBLACK, .samples = 2, .planar = PLANARCONFIG_SEPARATE,
                          .extraSamples = {EXTRASAMPLE_ASSOCALPHA},
                          .sample = [](int x, int y, int c) { return c == 0 ? unsigned(GreyLevel(x, y)) : 99u; }});
     },
     13, 7, Grey, 0},
    {"tiff_palette8", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_PALETTE, .samples = 1, .colourMap = TiffColourMap(8, false),
                          .sample = [](int x, int y, int) { return unsigned(PaletteIndex(x, y)); }});
     },
     13, 7, PaletteColour, 0},
    {"tiff_palette4", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_PALETTE, .bits = 4, .samples = 1,
                          .colourMap = TiffColourMap(4, false),
                          .sample = [](int x, int y, int) { return unsigned(PaletteIndex(x, y)); }});
     },
     13, 7, PaletteColour, 0},
    {"tiff_palette8_with_8bit_colour_map", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_PALETTE, .samples = 1, .colourMap = TiffColourMap(8, true),
                          .sample = [](int x, int y, int) { return unsigned(PaletteIndex(x, y)); }});
     },
     13, 7, PaletteColour, 0},
    {"tiff_tiled_rgb8_partial_tiles", ImageType::Tiff,
     [] { return TiffFile({.width = 37, .height = 21, .tileWidth = 16, .tileHeight = 16, .sample = RgbSample}); }, 37,
     21, Colour, 0},
    {"tiff_tiled_separate_planes", ImageType::Tiff,
     [] {
         return TiffFile({.width = 37, .height = 21, .planar = PLANARCONFIG_SEPARATE, .tileWidth = 16,
                          .tileHeight = 32, .sample = RgbSample});
     },
     37, 21, Colour, 0},
    {"tiff_tiled_grey1", ImageType::Tiff,
     [] {
         return TiffFile({.width = 37, .height = 21, .photometric = PHOTOMETRIC_MINISBLACK, .bits = 1, .samples = 1,
                          .tileWidth = 16, .tileHeight = 16,
                          .sample = [](int x, int y, int) { return unsigned((x + 2 * y) % 5 == 0); }});
     },
     37, 21, [](int x, int y) { return (x + 2 * y) % 5 == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }, 0},
    {"tiff_lzw_predictor_one_strip", ImageType::Tiff,
     [] { return TiffFile({.compression = COMPRESSION_LZW, .rowsPerStrip = 7, .sample = RgbSample}); }, 13, 7, Colour,
     0},
    {"tiff_deflate_grey", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1, .compression = COMPRESSION_ADOBE_DEFLATE,
                          .sample = [](int x, int y, int) { return unsigned(GreyLevel(x, y)); }});
     },
     13, 7, Grey, 0},
    {"tiff_geotiff_tags", ImageType::Tiff, [] { return TiffFile({.geoTags = true, .sample = RgbSample}); }, 13, 7,
     Colour, 0},
    // Through libtiff's RGBA interface, a band of strips or tiles at a time.
    {"tiff_cmyk_strips", ImageType::Tiff,
     [] {
         return TiffFile({.photometric = PHOTOMETRIC_SEPARATED, .samples = 4, .rowsPerStrip = 4, .sample = CmykSample});
     },
     13, 7, CmykAsRgb, 0},
    {"tiff_cmyk_tiles", ImageType::Tiff,
     [] {
         return TiffFile({.width = 37, .height = 21, .photometric = PHOTOMETRIC_SEPARATED, .samples = 4,
                          .tileWidth = 16, .tileHeight = 16, .sample = CmykSample});
     },
     37, 21, CmykAsRgb, 0},
    {"tiff_jpeg_ycbcr", ImageType::Tiff,
     [] {
         return TiffFile({.width = 48, .height = 40, .photometric = PHOTOMETRIC_YCBCR,
                          .compression = COMPRESSION_JPEG, .rowsPerStrip = 16, .sample = SmoothSample});
     },
     48, 40, Smooth, 6},
    {"tiff_jpeg_ycbcr_tiles", ImageType::Tiff,
     [] {
         return TiffFile({.width = 48, .height = 40, .photometric = PHOTOMETRIC_YCBCR, .compression = COMPRESSION_JPEG,
                          .tileWidth = 16, .tileHeight = 16, .sample = SmoothSample});
     },
     48, 40, Smooth, 6},

    // JPEG: lossy, so compared within a tolerance.
    {"jpeg_ycbcr", ImageType::Jpeg, [] { return JpegFile({.sample = SmoothSample}); }, 48, 40, Smooth, 6},
    {"jpeg_progressive", ImageType::Jpeg, [] { return JpegFile({.progressive = true, .sample = SmoothSample}); }, 48,
     40, Smooth, 6},
    {"jpeg_grey", ImageType::Jpeg,
     [] {
         return JpegFile({.components = 1, .input = JCS_GRAYSCALE,
                          .sample = [](int x, int y, int) { return unsigned(SmoothLuma(x, y).r); }});
     },
     48, 40, SmoothLuma, 3},
    {"jpeg_cmyk_adobe_inverted", ImageType::Jpeg,
     [] { return JpegFile({.components = 4, .input = JCS_CMYK, .sample = AdobeCmykSample}); }, 48, 40,
     AdobeCmykAsRgb, 6},
    {"jpeg_ycck", ImageType::Jpeg,
     [] { return JpegFile({.components = 4, .input = JCS_CMYK, .stored = JCS_YCCK, .sample = AdobeCmykSample}); }, 48,
     40, AdobeCmykAsRgb, 6},
    {"jpeg_cmyk_without_adobe_marker", ImageType::Jpeg,
     [] {
         return JpegFile({.components = 4, .input = JCS_CMYK, .adobeMarker = false,
                          .sample = [](int x, int y, int c) { return 255u - AdobeCmykSample(x, y, c); }});
     },
     48, 40, AdobeCmykAsRgb, 6},

    // BMP: every depth, both row orders, bit fields, RLE.
    {"bmp1", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 1;
         s.palette = {kTwoColours[0], kTwoColours[1]};
         s.pixels = BmpRows(13, 7, 1, false, [](int x, int y) { return std::uint32_t((x * y + x) % 2); });
         return BmpFile(s);
     },
     13, 7, Bmp1Expected, 0},
    {"bmp4", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 4;
         s.palette = PaletteVector();
         s.pixels = BmpRows(13, 7, 4, false, [](int x, int y) { return std::uint32_t(PaletteIndex(x, y)); });
         return BmpFile(s);
     },
     13, 7, PaletteColour, 0},
    {"bmp8_short_palette_bottom_up", ImageType::Bmp, [] { return BmpFile(Bmp8(false)); }, 13, 7, Bmp8Expected, 0},
    {"bmp8_top_down", ImageType::Bmp, [] { return BmpFile(Bmp8(true)); }, 13, 7, Bmp8Expected, 0},
    {"bmp16_default_555", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 16;
         s.pixels = BmpRows(13, 7, 16, false, [](int x, int y) {
             return std::uint32_t(Field5(x, y, 0) << 10 | Field5(x, y, 1) << 5 | Field5(x, y, 2) | 0x8000);
         });
         return BmpFile(s);
     },
     13, 7, Bmp555Expected, 0},
    {"bmp16_bitfields_565", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 16;
         s.compression = 3;
         s.masks = {0xF800, 0x07E0, 0x001F};
         s.pixels = BmpRows(13, 7, 16, true, [](int x, int y) {
             return std::uint32_t(Field5(x, y, 0) << 11 | ((x * 5 + y) % 64) << 5 | Field5(x, y, 2));
         });
         s.height = -7;
         return BmpFile(s);
     },
     13, 7, Bmp565Expected, 0},
    {"bmp24_bottom_up", ImageType::Bmp, [] { return BmpFile(Bmp24(false)); }, 13, 7, Colour, 0},
    {"bmp24_top_down", ImageType::Bmp, [] { return BmpFile(Bmp24(true)); }, 13, 7, Colour, 0},
    {"bmp24_last_row_without_padding", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.pixels.pop_back();
         return BmpFile(s);
     },
     13, 7, Colour, 0},
    {"bmp32_default_bgrx", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 32;
         s.pixels = BmpRows(13, 7, 32, false, [](int x, int y) { return Packed24(x, y) | 0x5A000000u; });
         return BmpFile(s);
     },
     13, 7, Colour, 0},
    {"bmp32_v4_header_rgbx_masks", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.headerSize = 108;
         s.bpp = 32;
         s.compression = 3;
         s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
         s.pixels = BmpRows(13, 7, 32, false, [](int x, int y) {
             const Rgb c = Colour(x, y);
             return std::uint32_t(c.r | c.g << 8 | c.b << 16 | 0x77u << 24);
         });
         return BmpFile(s);
     },
     13, 7, Colour, 0},
    {"bmp4_os2_core_header", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.headerSize = 12;
         s.bpp = 4;
         s.palette = PaletteVector();
         s.pixels = BmpRows(13, 7, 4, false, [](int x, int y) { return std::uint32_t(PaletteIndex(x, y)); });
         return BmpFile(s);
     },
     13, 7, PaletteColour, 0},
    {"bmp_rle8_runs_literals_deltas", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.width = 6;
         s.height = 4;
         s.bpp = 8;
         s.compression = 1;
         s.coloursUsed = 6;
         s.palette = ShiftedPalette(6);
         s.pixels = kRle8Stream;
         return BmpFile(s);
     },
     6, 4, Rle8Expected, 0},
    {"bmp_rle4", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.width = 5;
         s.height = 2;
         s.bpp = 4;
         s.compression = 2;
         s.coloursUsed = 8;
         s.palette = ShiftedPalette(8);
         s.pixels = kRle4Stream;
         return BmpFile(s);
     },
     5, 2, Rle4Expected, 0},
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesToRgbSilently)
{
    const DecodeCase& c = GetParam();
    const Bytes bytes = c.make();
    ::testing::internal::CaptureStderr();
    RgbImage image;
    try {
        image = DecodeImage(bytes, c.type);
    } catch (const Error& e) {
        ::testing::internal::GetCapturedStderr();
        FAIL() << e.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(Matches(image, c.width, c.height, c.expected, c.tolerance));
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodeTest, ::testing::ValuesIn(kDecodeCases), test::CaseName{});

// ---- failures with their exact text --------------------------------------------

/// The smallest valid image of each format, 13 x 7.
Bytes Small(ImageType type)
{
    switch (type) {
    case ImageType::Jpeg: return EncodeJpeg(MakeImage(13, 7, Colour), 90);
    case ImageType::Png: return PngFile({.sample = RgbSample});
    case ImageType::Gif: return GifFile(13, 7, 0, PaletteVector(), {GifFrameSpec{}});
    case ImageType::Bmp: return BmpFile(Bmp24(false));
    case ImageType::Tiff: return TiffFile({.sample = RgbSample});
    case ImageType::Unknown: break;
    }
    return {};
}

Bytes JpegClaiming(std::uint16_t width, std::uint16_t height)
{
    Bytes jpeg = Small(ImageType::Jpeg);
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            jpeg[i + 5] = U8(height >> 8);
            jpeg[i + 6] = U8(height);
            jpeg[i + 7] = U8(width >> 8);
            jpeg[i + 8] = U8(width);
            break;
        }
    return jpeg;
}

/// A little-endian TIFF whose only directory claims a 100000 x 100000 grey
/// image with one strip.
Bytes TiffClaimingHuge()
{
    Bytes t = {'I', 'I', 42, 0};
    PutU32(t, 8);
    const std::uint16_t kShort = 3, kLong = 4;
    const struct {
        std::uint16_t tag, type;
        std::uint32_t value;
    } entries[] = {{256, kLong, 100000}, {257, kLong, 100000}, {258, kShort, 8},      {259, kShort, 1},
                   {262, kShort, 1},     {273, kLong, 8},      {277, kShort, 1},      {278, kLong, 100000},
                   {279, kLong, 1}};
    PutU16(t, static_cast<unsigned>(std::size(entries)));
    for (const auto& e : entries) {
        PutU16(t, e.tag);
        PutU16(t, e.type);
        PutU32(t, 1);
        if (e.type == kShort) {
            PutU16(t, e.value);
            PutU16(t, 0);
        } else {
            PutU32(t, e.value);
        }
    }
    PutU32(t, 0);
    return t;
}

Bytes GifClaimingHuge()
{
    return {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0,  // screen 65535 x 65535
            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                                  // 1 x 1 frame
            2, 0, 0x3B};
}

struct ErrorCase {
    const char* name;
    ImageType type;
    Bytes (*make)();
    std::uint64_t maxPixels;
    const char* message;
};

constexpr std::uint64_t kGiga = kDefaultMaxPixels;

const ErrorCase kErrorCases[] = {
    // The pixel limit, checked before anything is allocated.
    {"png_claims_100000_square", ImageType::Png, [] { return PngClaiming(100000, 100000); }, kGiga,
     "The image is too large: 100000 x 100000 pixels exceeds the limit of 1000000000 pixels"},
    {"jpeg_claims_60000_square", ImageType::Jpeg, [] { return JpegClaiming(60000, 60000); }, kGiga,
     "The image is too large: 60000 x 60000 pixels exceeds the limit of 1000000000 pixels"},
    {"gif_claims_65535_square", ImageType::Gif, GifClaimingHuge, kGiga,
     "The image is too large: 65535 x 65535 pixels exceeds the limit of 1000000000 pixels"},
    {"tiff_claims_100000_square", ImageType::Tiff, TiffClaimingHuge, kGiga,
     "The image is too large: 100000 x 100000 pixels exceeds the limit of 1000000000 pixels"},
    {"bmp_bare_headers_claim_100000_square", ImageType::Bmp,
     [] {
         BmpSpec s;  // 55 bytes: the headers and one byte of pixel data
         s.width = s.height = 100000;
         s.pixels = {0};
         return BmpFile(s);
     },
     kGiga, "The image is too large: 100000 x 100000 pixels exceeds the limit of 1000000000 pixels"},
    {"bmp_claims_int32_max_square", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.width = s.height = std::numeric_limits<std::int32_t>::max();
         return BmpFile(s);
     },
     kGiga, "The image is too large: 2147483647 x 2147483647 pixels exceeds the limit of 1000000000 pixels"},
    {"bmp_height_int32_min_top_down", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.width = 1;
         s.height = std::numeric_limits<std::int32_t>::min();
         return BmpFile(s);
     },
     std::numeric_limits<std::uint64_t>::max(),
     "The image is too large: 1 x 2147483648 pixels exceeds the limit of 18446744073709551615 pixels"},
    // One pixel over a small limit, for each decoder's own check.
    {"jpeg_one_pixel_over", ImageType::Jpeg, [] { return Small(ImageType::Jpeg); }, 90,
     "The image is too large: 13 x 7 pixels exceeds the limit of 90 pixels"},
    {"png_one_pixel_over", ImageType::Png, [] { return Small(ImageType::Png); }, 90,
     "The image is too large: 13 x 7 pixels exceeds the limit of 90 pixels"},
    {"gif_one_pixel_over", ImageType::Gif, [] { return Small(ImageType::Gif); }, 90,
     "The image is too large: 13 x 7 pixels exceeds the limit of 90 pixels"},
    {"bmp_one_pixel_over", ImageType::Bmp, [] { return Small(ImageType::Bmp); }, 90,
     "The image is too large: 13 x 7 pixels exceeds the limit of 90 pixels"},
    {"tiff_one_pixel_over", ImageType::Tiff, [] { return Small(ImageType::Tiff); }, 90,
     "The image is too large: 13 x 7 pixels exceeds the limit of 90 pixels"},

    // Malformed BMP files.
    {"bmp_not_bm", ImageType::Bmp, [] { return Bytes{'M', 'B', 0, 0}; }, kGiga,
     "Invalid BMP image: the file does not start with \"BM\""},
    {"bmp_headers_cut", ImageType::Bmp,
     [] {
         Bytes b = Small(ImageType::Bmp);
         b.resize(30);
         return b;
     },
     kGiga, "Invalid BMP image: the headers end past the end of the file"},
    {"bmp_header_size_unknown", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.headerSize = 200;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: unsupported header size 200"},
    {"bmp_zero_planes", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.planes = 0;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: invalid number of planes 0"},
    {"bmp_zero_width", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.width = 0;
         return BmpFile(s);
     },
     kGiga, "Invalid image size 0 x 7"},
    {"bmp_negative_width", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.width = -13;
         return BmpFile(s);
     },
     kGiga, "Invalid image size -13 x 7"},
    {"bmp_two_bit", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.bpp = 2;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: unsupported bit depth 2"},
    {"bmp_embedded_jpeg", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.compression = 4;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: unsupported compression 4 at bit depth 24"},
    {"bmp_rle8_at_four_bits", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.bpp = 4;
         s.compression = 1;
         s.palette = PaletteVector();
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: unsupported compression 1 at bit depth 4"},
    {"bmp_palette_cut", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.bpp = 8;  // 256 entries expected, 16 present
         s.palette = PaletteVector();
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: the colour table ends past the end of the file"},
    {"bmp_offset_past_end", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.offsetShift = 1000;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: the pixel data starts past the end of the file"},
    {"bmp_pixels_cut", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.pixels.resize(s.pixels.size() - 5);
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: the pixel data ends past the end of the file"},
    {"bmp_rows_overflow_without_limit", ImageType::Bmp,
     [] {
         BmpSpec s = Bmp24(false);
         s.width = std::numeric_limits<std::int32_t>::max();
         s.height = 3;
         s.bpp = 32;
         return BmpFile(s);
     },
     std::numeric_limits<std::uint64_t>::max(), "Invalid BMP image: the pixel data ends past the end of the file"},
    {"bmp_rle_literal_cut", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.width = 6;
         s.height = 4;
         s.bpp = 8;
         s.compression = 1;
         s.coloursUsed = 6;
         s.palette = ShiftedPalette(6);
         s.pixels = {0, 10, 1, 2, 3};
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: the run-length data is damaged"},
    {"bmp_rle_top_down", ImageType::Bmp,
     [] {
         BmpSpec s;
         s.width = 6;
         s.height = -4;
         s.bpp = 8;
         s.compression = 1;
         s.coloursUsed = 6;
         s.palette = ShiftedPalette(6);
         s.pixels = kRle8Stream;
         return BmpFile(s);
     },
     kGiga, "Invalid BMP image: run-length data in a top-down image"},

    // Other formats' own causes.
    {"png_empty", ImageType::Png, [] { return Bytes{}; }, kGiga, "Invalid PNG image: the data ends early"},
    {"gif_cut_in_pixels", ImageType::Gif,
     [] {
         Bytes b = Small(ImageType::Gif);
         b.resize(b.size() - 12);
         return b;
     },
     kGiga, "Invalid GIF image: the data ends early"},
    {"gif_without_frame", ImageType::Gif, [] { return GifFile(13, 7, 0, PaletteVector(), {}); }, kGiga,
     "Invalid GIF image: the file holds no image"},
    {"jpeg_empty", ImageType::Jpeg, [] { return Bytes{}; }, kGiga, "Invalid JPEG image: Empty input file"},
    {"jpeg_cut_in_scan", ImageType::Jpeg,
     [] {
         Bytes b = Small(ImageType::Jpeg);
         b.resize(b.size() - 40);
         return b;
     },
     kGiga, "Invalid JPEG image: Premature end of JPEG file"},
    {"unknown_type", ImageType::Unknown, [] { return Small(ImageType::Png); }, kGiga, "Unknown image type"},
};

class DecodeErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DecodeErrorTest, RefusesWithItsText)
{
    const ErrorCase& c = GetParam();
    const Bytes bytes = c.make();
    ::testing::internal::CaptureStderr();
    try {
        DecodeImage(bytes, c.type, c.maxPixels);
        ::testing::internal::GetCapturedStderr();
        FAIL() << "decoded";
    } catch (const Error& e) {
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(std::string(e.what()), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodeErrorTest, ::testing::ValuesIn(kErrorCases), test::CaseName{});

struct FormatCase {
    const char* name;
    ImageType type;
};

const FormatCase kFormats[] = {{"jpeg", ImageType::Jpeg},
                               {"png", ImageType::Png},
                               {"gif", ImageType::Gif},
                               {"bmp", ImageType::Bmp},
                               {"tiff", ImageType::Tiff}};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, AcceptsAnImageOfExactlyTheLimit)
{
    const RgbImage image = DecodeImage(Small(GetParam().type), GetParam().type, 13 * 7);
    EXPECT_EQ(image.Width(), 13);
    EXPECT_EQ(image.Height(), 7);
}

/// Any prefix of a file, and the file with bytes flipped in its middle,
/// gives an image or an Error: no crash, nothing on stderr. Cuts inside the
/// headers or the pixel data must be an Error.
TEST_P(FormatTest, CutOrDamagedFilesFailCleanly)
{
    const ImageType type = GetParam().type;
    const Bytes whole = Small(type);
    ::testing::internal::CaptureStderr();
    for (std::size_t keep = 0; keep + 2 < whole.size(); ++keep) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        // Formats whose end marker is not needed decode once all pixels are in.
        const bool mayDecode = keep > whole.size() / 2 && type != ImageType::Bmp;
        try {
            DecodeImage(cut, type);
            EXPECT_TRUE(mayDecode) << "decoded a file cut to " << keep << " bytes of " << whole.size();
        } catch (const Error&) {
        }
    }
    for (std::size_t at = whole.size() / 4; at < whole.size(); at += 7) {
        Bytes damaged = whole;
        damaged[at] ^= 0x5A;
        try {
            DecodeImage(damaged, type);
        } catch (const Error&) {
        }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, FormatTest, ::testing::ValuesIn(kFormats), test::CaseName{});

// ---- file names and files ---------------------------------------------------------

struct ExtensionCase {
    const char* name;
    const char* bareName;
    ImageType type;
};

const ExtensionCase kExtensionCases[] = {
    {"jpg", "map.jpg", ImageType::Jpeg},          {"jpeg_upper", "MAP.JPEG", ImageType::Jpeg},
    {"bmp_mixed_case", "a.Bmp", ImageType::Bmp},  {"gif", "x.gif", ImageType::Gif},
    {"png", "y.PNG", ImageType::Png},             {"tif", "z.tif", ImageType::Tiff},
    {"tiff_is_not_tif", "z.tiff", ImageType::Unknown},
    {"last_extension_counts", "a.jpg.png", ImageType::Png},
    {"no_extension", "map", ImageType::Unknown},  {"dot_in_folder_only", "maps.jpg\\scan", ImageType::Unknown},
    {"other_extension", "map.ecw", ImageType::Unknown},
};

class ExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionTest, NamesTheFormat)
{
    EXPECT_EQ(ImageTypeFromExtension(GetParam().bareName), GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExtensionTest, ::testing::ValuesIn(kExtensionCases), test::CaseName{});

TEST(DecodeImageFile, ReadsAFileAndNamesItInErrors)
{
    test::TempDir dir;
    const Bytes png = Small(ImageType::Png);
    test::WriteFile(dir / "map.png", std::string(png.begin(), png.end()));
    EXPECT_TRUE(Matches(DecodeImageFile(dir / "map.png", ImageType::Png), 13, 7, Colour, 0));

    test::WriteFile(dir / "empty.png", "");
    try {
        DecodeImageFile(dir / "empty.png", ImageType::Png);
        FAIL() << "decoded an empty file";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot read image \"" + (dir / "empty.png").string() + "\": Invalid PNG image: the data ends early");
    }
    try {
        DecodeImageFile(dir / "missing.png", ImageType::Png);
        FAIL() << "decoded a missing file";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + (dir / "missing.png").string() + "\": No such file or directory");
    }
}

// ---- encoders ------------------------------------------------------------------------

/// A 256 x 256 tile with gradients, edges and some texture, like a map.
RgbImage MapLikeTile()
{
    return MakeImage(256, 256, [](int x, int y) {
        const bool road = std::abs(x - y) < 3 || (y > 100 && y < 106);
        const int texture = ((x * 7919 + y * 104729) >> 3) % 23;
        if (road) return Rgb{230, 200, 40};
        return Rgb{U8(120 + x / 4 + texture), U8(160 + y / 5 - texture), U8(90 + (x + y) / 8)};
    });
}

double MeanError(const RgbImage& a, const RgbImage& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.SizeBytes(); ++i) sum += std::abs(a.Data()[i] - b.Data()[i]);
    return sum / static_cast<double>(a.SizeBytes());
}

/// Over the qualities the conversion uses (30 and the coarser levels' 44 …
/// 77) and beyond: each step gives a larger file that decodes closer to the
/// tile. The texture's colour detail is lost to 4:2:0 subsampling, which
/// bounds how close even quality 100 comes.
TEST(EncodeJpeg, SizeGrowsAndErrorShrinksWithQuality)
{
    const RgbImage tile = MapLikeTile();
    std::size_t previousSize = 0;
    double previousError = 255;
    for (int q : {0, 10, 30, 44, 55, 64, 71, 77, 90, 100}) {
        const Bytes jpeg = EncodeJpeg(tile, q);
        EXPECT_GT(jpeg.size(), previousSize) << "quality " << q;
        previousSize = jpeg.size();
        const RgbImage back = DecodeJpeg(jpeg);
        ASSERT_EQ(back.Width(), 256);
        ASSERT_EQ(back.Height(), 256);
        const double error = MeanError(back, tile);
        EXPECT_LT(error, previousError) << "quality " << q;
        previousError = error;
        if (q >= 30) {
            EXPECT_LT(error, q >= 90 ? 4.5 : 6.0) << "quality " << q;
        }
    }
}

TEST(EncodeJpeg, GreyWritesOneChannel)
{
    const RgbImage tile = MapLikeTile();
    const Bytes grey = EncodeJpeg(tile, 80, JpegColour::Grey);
    EXPECT_LT(grey.size(), EncodeJpeg(tile, 80).size());
    const RgbImage back = DecodeJpeg(grey);
    for (int y = 0; y < 256; y += 17)
        for (int x = 0; x < 256; x += 13) {
            const std::uint8_t* p = back.Row(y) + x * 3;
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
        }
}

TEST(EncodePng, DecodesBackExactly)
{
    for (const auto& [w, h] : {std::pair{256, 256}, std::pair{1, 1}, std::pair{300, 2}}) {
        const RgbImage image = MakeImage(w, h, [](int x, int y) {
            return Rgb{U8(x * 7 + y * 13), U8(x * x + y), U8((x ^ y) * 3)};
        });
        EXPECT_TRUE(Matches(DecodePng(EncodePng(image)), w, h, [&](int x, int y) {
            const std::uint8_t* p = image.Row(y) + x * 3;
            return Rgb{p[0], p[1], p[2]};
        }, 0)) << w << " x " << h;
    }
}

TEST(Encoders, RefuseAnEmptyImage)
{
    const std::uint8_t pixel[3] = {};
    try {
        EncodeJpeg(pixel, 0, 256, 30);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot encode JPEG image: Invalid image size 0 x 256");
    }
    try {
        EncodePng(pixel, 256, -1);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot encode PNG image: Invalid image size 256 x -1");
    }
}

struct EncoderCase {
    const char* name;
    Bytes (*encode)(const RgbImage&);
};

const EncoderCase kEncoders[] = {
    {"jpeg_q30", [](const RgbImage& i) { return EncodeJpeg(i, 30); }},
    {"jpeg_q77", [](const RgbImage& i) { return EncodeJpeg(i, 77); }},
    {"jpeg_grey_q50", [](const RgbImage& i) { return EncodeJpeg(i, 50, JpegColour::Grey); }},
    {"png", [](const RgbImage& i) { return EncodePng(i); }},
};

class EncoderTest : public ::testing::TestWithParam<EncoderCase> {};

/// The same pixels give the same bytes, also with several encoders running
/// at once.
TEST_P(EncoderTest, IsDeterministicAcrossThreads)
{
    const RgbImage tile = MapLikeTile();
    const Bytes reference = GetParam().encode(tile);
    EXPECT_EQ(GetParam().encode(tile), reference);
    constexpr int kThreads = 4;
    std::vector<std::vector<Bytes>> results(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 8; ++i) results[static_cast<std::size_t>(t)].push_back(GetParam().encode(tile));
            });
    }
    for (const auto& perThread : results)
        for (const Bytes& b : perThread) EXPECT_EQ(b, reference);
}

INSTANTIATE_TEST_SUITE_P(Rows, EncoderTest, ::testing::ValuesIn(kEncoders), test::CaseName{});

} // namespace
} // namespace orvane::image
