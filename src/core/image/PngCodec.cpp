// PNG through libpng.
//
// libpng reports a fatal error through our error function, which stores the
// text and longjmps back to the setjmp of the small function that made the
// library call. Those functions hold no objects with destructors; images,
// row tables and the library's structures belong to their callers.

#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace orvane::image {

namespace {

constexpr std::string_view kFormat = "PNG";

// Tile compression: zlib level 1 with the Sub filter on every row. Measured
// on 256 x 256 tiles (flat map / scanned map / shaded relief), libpng's
// default (level 6, adaptive filters) gave 31 / 134 / 45 KB in about
// 20 / 65 / 62 ms; level 1 with Sub gives 34 / 144 / 64 KB in 4 / 13 / 9 ms.
// No filter compresses flat maps best (28 KB) but doubles smooth content
// (116 KB of relief); Up is as good on relief and worse on flat maps;
// adaptive filtering or level 3 buy 5–15 % for 1.5–2 times the time.
constexpr int kPngCompressionLevel = 1;
constexpr int kPngFilter = PNG_FILTER_SUB;

struct PngMessage {
    char text[256];
};

[[noreturn]] void PngFail(png_structp png, png_const_charp text)
{
    auto* message = static_cast<PngMessage*>(png_get_error_ptr(png));
    std::snprintf(message->text, sizeof message->text, "%s", text);
    png_longjmp(png, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

// ---- decoding ----------------------------------------------------------------

struct PngSource {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

void PngRead(png_structp png, png_bytep out, std::size_t count)
{
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > src->size - src->pos) png_error(png, msg::kImageDataTruncated.data());
    if (count == 0) return;
    std::memcpy(out, src->data + src->pos, count);
    src->pos += count;
}

struct PngDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngMessage message{};
    PngSource source{};

    PngDecoder()
    {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, PngFail, PngIgnoreWarning);
        if (png != nullptr) info = png_create_info_struct(png);
        if (png == nullptr || info == nullptr) {
            png_destroy_read_struct(&png, &info, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngDecoder() { png_destroy_read_struct(&png, &info, nullptr); }
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
};

struct PngLayout {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;
    std::size_t rowBytes = 0;
};

/// Reads the headers and sets up the conversion to 8-bit RGB: palettes and
/// grey below 8 bits expanded, 16-bit samples cut to their high byte, grey
/// copied to all three channels, alpha (and tRNS) dropped. No gamma is
/// applied. False after a library error.
bool PngReadHeader(PngDecoder& d, PngLayout& layout)
{
    if (setjmp(png_jmpbuf(d.png))) return false;
    png_set_read_fn(d.png, &d.source, PngRead);
    png_read_info(d.png, d.info);
    png_set_expand(d.png);
    png_set_strip_16(d.png);
    png_set_strip_alpha(d.png);
    png_set_gray_to_rgb(d.png);
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    layout.width = png_get_image_width(d.png, d.info);
    layout.height = png_get_image_height(d.png, d.info);
    layout.channels = png_get_channels(d.png, d.info);
    layout.rowBytes = png_get_rowbytes(d.png, d.info);
    return true;
}

/// Decodes every row (all passes of an interlaced image) straight into the
/// image. False after a library error.
bool PngReadPixels(PngDecoder& d, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(d.png))) return false;
    png_read_image(d.png, rows);
    return true;
}

// ---- encoding ----------------------------------------------------------------

struct PngEncoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngMessage message{};
    std::vector<std::uint8_t> out;

    PngEncoder()
    {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, PngFail, PngIgnoreWarning);
        if (png != nullptr) info = png_create_info_struct(png);
        if (png == nullptr || info == nullptr) {
            png_destroy_write_struct(&png, &info);
            throw std::bad_alloc();
        }
    }
    ~PngEncoder() { png_destroy_write_struct(&png, &info); }
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;
};

void PngWrite(png_structp png, png_bytep data, std::size_t count)
{
    auto* e = static_cast<PngEncoder*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        e->out.insert(e->out.end(), data, data + count);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    // Raised only once the catch block is left: png_error longjmps.
    if (!stored) png_error(png, msg::kImageOutOfMemory.data());
}

void PngFlush(png_structp) {}

bool PngCompress(PngEncoder& e, const std::uint8_t* rgb, std::int32_t width, std::int32_t height)
{
    if (setjmp(png_jmpbuf(e.png))) return false;
    png_set_write_fn(e.png, &e, PngWrite, PngFlush);
    png_set_IHDR(e.png, e.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(e.png, kPngCompressionLevel);
    png_set_filter(e.png, PNG_FILTER_TYPE_BASE, kPngFilter);
    png_write_info(e.png, e.info);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (std::int32_t y = 0; y < height; ++y) png_write_row(e.png, rgb + stride * static_cast<std::size_t>(y));
    png_write_end(e.png, nullptr);
    return true;
}

} // namespace

RgbImage DecodePng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    PngDecoder d;
    d.source = {bytes.data(), bytes.size(), 0};
    PngLayout layout;
    if (!PngReadHeader(d, layout)) throw Error(msg::ImageDataInvalid(kFormat, d.message.text));
    CheckImageSize(layout.width, layout.height, maxPixels);
    RgbImage image(static_cast<std::int32_t>(layout.width), static_cast<std::int32_t>(layout.height));
    // The transformations above always give three 8-bit channels; anything
    // else would overrun the rows.
    if (layout.channels != 3 || layout.rowBytes != image.Stride())
        throw Error(msg::ImageDataInvalid(kFormat, std::string(msg::kImageRowLayout)));
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = image.Row(static_cast<std::int32_t>(y));
    if (!PngReadPixels(d, rows.data())) throw Error(msg::ImageDataInvalid(kFormat, d.message.text));
    return image;
}

std::vector<std::uint8_t> EncodePng(const std::uint8_t* rgb, std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        throw Error(msg::ImageEncodeFailed(kFormat, msg::ImageSizeInvalid(width, height)));
    PngEncoder e;
    e.out.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1024);
    if (!PngCompress(e, rgb, width, height)) throw Error(msg::ImageEncodeFailed(kFormat, e.message.text));
    return std::move(e.out);
}

} // namespace orvane::image
