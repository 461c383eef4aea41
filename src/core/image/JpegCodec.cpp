// JPEG through libjpeg-turbo.
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return. Ours formats the message and longjmps back to a setjmp in the
// same small function that made the library call. Those functions hold no
// objects with destructors, so the jump skips none; the C++ side (the image,
// the buffers, the cleanup of the library's state) lives in the caller.

#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// jpeglib.h needs <cstdio> (FILE, size_t) before it, and jerror.h after it.
#include <jpeglib.h>
#include <jerror.h>

namespace orvane::image {

namespace {

constexpr std::string_view kFormat = "JPEG";

struct JpegErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg sees only this part
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

/// Warnings and trace messages are never printed. One warning is fatal:
/// libjpeg answers data that ends early by padding the rest of the image
/// with grey, and a map with a grey band must not pass as a good one.
void JpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) return;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(cinfo);
    ++cinfo->err->num_warnings;
}

void JpegOutputMessage(j_common_ptr) {}

void InitErrorManager(JpegErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.emit_message = JpegEmitMessage;
    err.pub.output_message = JpegOutputMessage;
    err.message[0] = '\0';
}

// ---- decoding ----------------------------------------------------------------

struct JpegDecoder {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager err{};
    bool cmyk = false;

    JpegDecoder()
    {
        InitErrorManager(err);
        cinfo.err = &err.pub;
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&cinfo); }  // safe on a struct never created
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
};

/// Reads the headers and settles the output: 24-bit RGB (libjpeg-turbo
/// converts grey, YCbCr and RGB itself), or CMYK (also from YCCK) that
/// CmykToRgb converts. False after a library error.
bool JpegReadHeader(JpegDecoder& d, std::span<const std::uint8_t> bytes)
{
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    jpeg_mem_src(&d.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d.cinfo, TRUE);
    d.cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
    d.cinfo.out_color_space = d.cmyk ? JCS_CMYK : JCS_RGB;
    // The accurate integer DCT: exact, so the same file decodes to the same
    // pixels on every machine; IFAST saves little next to the rest.
    d.cinfo.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

/// CMYK from Adobe applications is stored inverted (0 = full ink); others
/// store ink amounts directly.
void CmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::uint32_t width, bool inverted)
{
    for (std::uint32_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = static_cast<std::uint8_t>((v * k + 127) / 255);
        }
    }
}

/// Decodes the scanlines straight into the image rows (CMYK through one row
/// of scratch). All data has been read once the last row is out; what
/// follows the image (a missing end marker, say) is not looked at.
bool JpegReadPixels(JpegDecoder& d, RgbImage& image, std::uint8_t* cmykRow)
{
    if (setjmp(d.err.jump)) return false;
    jpeg_start_decompress(&d.cinfo);
    const JDIMENSION height = d.cinfo.output_height;
    while (d.cinfo.output_scanline < height) {
        const JDIMENSION y = d.cinfo.output_scanline;
        JDIMENSION got = 0;
        if (d.cmyk) {
            JSAMPROW row = cmykRow;
            got = jpeg_read_scanlines(&d.cinfo, &row, 1);
            if (got == 1)
                CmykToRgb(cmykRow, image.Row(static_cast<std::int32_t>(y)), d.cinfo.output_width,
                          d.cinfo.saw_Adobe_marker != 0);
        } else {
            JSAMPROW rows[4];
            const JDIMENSION want = std::min<JDIMENSION>(
                {static_cast<JDIMENSION>(std::clamp(d.cinfo.rec_outbuf_height, 1, 4)), height - y});
            for (JDIMENSION i = 0; i < want; ++i) rows[i] = image.Row(static_cast<std::int32_t>(y + i));
            got = jpeg_read_scanlines(&d.cinfo, rows, want);
        }
        if (got == 0) ERREXIT(&d.cinfo, JERR_INPUT_EMPTY);  // cannot happen with a memory source
    }
    return true;
}

// ---- encoding ----------------------------------------------------------------

/// Compressed bytes go to a malloc'd buffer that grows by doubling; it is
/// owned here rather than by the library so that it is freed on every path.
struct JpegEncoder {
    jpeg_compress_struct cinfo{};
    JpegErrorManager err{};
    jpeg_destination_mgr dest{};
    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;

    JpegEncoder()
    {
        InitErrorManager(err);
        cinfo.err = &err.pub;
    }
    ~JpegEncoder()
    {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;
};

void DestInit(j_compress_ptr cinfo)
{
    auto* e = static_cast<JpegEncoder*>(cinfo->client_data);
    e->dest.next_output_byte = e->buffer;
    e->dest.free_in_buffer = e->capacity;
}

boolean DestGrow(j_compress_ptr cinfo)
{
    auto* e = static_cast<JpegEncoder*>(cinfo->client_data);
    const std::size_t grown = e->capacity * 2;
    auto* p = static_cast<unsigned char*>(std::realloc(e->buffer, grown));
    if (p == nullptr) {
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);  // does not return
        return FALSE;
    }
    e->buffer = p;
    e->dest.next_output_byte = p + e->capacity;  // the whole old buffer is full
    e->dest.free_in_buffer = grown - e->capacity;
    e->capacity = grown;
    return TRUE;
}

void DestTerm(j_compress_ptr cinfo)
{
    auto* e = static_cast<JpegEncoder*>(cinfo->client_data);
    e->size = e->capacity - e->dest.free_in_buffer;
}

bool JpegCompress(JpegEncoder& e, const std::uint8_t* rgb, std::int32_t width, std::int32_t height,
                  std::int32_t quality, JpegColour colour)
{
    if (setjmp(e.err.jump)) return false;
    jpeg_create_compress(&e.cinfo);
    e.cinfo.client_data = &e;
    e.dest.init_destination = DestInit;
    e.dest.empty_output_buffer = DestGrow;
    e.dest.term_destination = DestTerm;
    e.cinfo.dest = &e.dest;
    e.cinfo.image_width = static_cast<JDIMENSION>(width);
    e.cinfo.image_height = static_cast<JDIMENSION>(height);
    e.cinfo.input_components = 3;
    e.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.cinfo);  // YCbCr 4:2:0, JFIF header
    if (colour == JpegColour::Grey) jpeg_set_colorspace(&e.cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&e.cinfo, quality, TRUE);  // TRUE: baseline tables (entries ≤ 255)
    e.cinfo.dct_method = JDCT_ISLOW;
    // Huffman tables fitted to the tile (still baseline): on 256 x 256 map
    // tiles at quality 30 they made the files 9 % (scanned and flat maps) to
    // 23 % (shaded relief) smaller, for about 0.4–0.6 ms more per tile, which
    // is small next to resampling the tile. Packages go to phones, so size wins.
    e.cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&e.cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    while (e.cinfo.next_scanline < e.cinfo.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * e.cinfo.next_scanline);
        jpeg_write_scanlines(&e.cinfo, &row, 1);
    }
    jpeg_finish_compress(&e.cinfo);
    return true;
}

} // namespace

RgbImage DecodeJpeg(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    JpegDecoder d;
    if (!JpegReadHeader(d, bytes)) throw Error(msg::ImageDataInvalid(kFormat, d.err.message));
    CheckImageSize(d.cinfo.output_width, d.cinfo.output_height, maxPixels);
    RgbImage image(static_cast<std::int32_t>(d.cinfo.output_width), static_cast<std::int32_t>(d.cinfo.output_height));
    std::vector<std::uint8_t> cmykRow(d.cmyk ? static_cast<std::size_t>(d.cinfo.output_width) * 4 : 0);
    if (!JpegReadPixels(d, image, cmykRow.data())) throw Error(msg::ImageDataInvalid(kFormat, d.err.message));
    return image;
}

std::vector<std::uint8_t> EncodeJpeg(const std::uint8_t* rgb, std::int32_t width, std::int32_t height,
                                     std::int32_t quality, JpegColour colour)
{
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        throw Error(msg::ImageEncodeFailed(kFormat, msg::ImageSizeInvalid(width, height)));
    JpegEncoder e;
    // Room for a typical tile at high quality, so that growing is rare.
    e.capacity = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 4096;
    e.buffer = static_cast<unsigned char*>(std::malloc(e.capacity));
    if (e.buffer == nullptr) throw std::bad_alloc();
    if (!JpegCompress(e, rgb, width, height, std::clamp(quality, 0, 100), colour))
        throw Error(msg::ImageEncodeFailed(kFormat, e.err.message));
    return std::vector<std::uint8_t>(e.buffer, e.buffer + e.size);
}

} // namespace orvane::image
