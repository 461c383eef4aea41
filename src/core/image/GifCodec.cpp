// GIF through giflib: the first frame only, line by line.
//
// The image is the logical screen, grown where the first frame reaches past
// it (malformed, but common enough that viewers accept it). The frame is
// placed at its offset; the rest of the screen takes the background colour
// of the global colour table, or black without one. The transparent index,
// if any, is ignored: those pixels show their palette colour, as alpha is
// dropped by the other decoders. A frame without any colour table is read
// as grey levels (index i → i, i, i).

#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace orvane::image {

namespace {

constexpr std::string_view kFormat = "GIF";

struct GifSource {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

int GifRead(GifFileType* gif, GifByteType* out, int count)
{
    auto* src = static_cast<GifSource*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), src->size - src->pos);
    if (n == 0) return 0;  // also keeps memcpy away from the null data of an empty span
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
    return static_cast<int>(n);
}

[[noreturn]] void GifFail(int code)
{
    if (code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON)
        throw Error(msg::ImageDataInvalid(kFormat, std::string(msg::kImageDataTruncated)));
    const char* text = GifErrorString(code);
    throw Error(msg::ImageDataInvalid(kFormat, text != nullptr ? text : std::to_string(code)));
}

class GifHandle {
public:
    explicit GifHandle(GifSource& source)
    {
        int error = 0;
        m_gif = DGifOpen(&source, GifRead, &error);
        if (m_gif == nullptr) GifFail(error);
    }
    ~GifHandle()
    {
        int error = 0;
        DGifCloseFile(m_gif, &error);
    }
    GifHandle(const GifHandle&) = delete;
    GifHandle& operator=(const GifHandle&) = delete;
    GifFileType* operator->() const { return m_gif; }
    GifFileType* get() const { return m_gif; }

private:
    GifFileType* m_gif = nullptr;
};

/// Moves to the first image descriptor, skipping extensions.
void SeekFirstFrame(GifFileType* gif)
{
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) GifFail(gif->Error);
        switch (type) {
        case IMAGE_DESC_RECORD_TYPE:
            if (DGifGetImageDesc(gif) == GIF_ERROR) GifFail(gif->Error);
            return;
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) GifFail(gif->Error);
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) GifFail(gif->Error);
            break;
        }
        case TERMINATE_RECORD_TYPE:
            throw Error(msg::ImageDataInvalid(kFormat, std::string(msg::kImageNoFrame)));
        default:
            GifFail(D_GIF_ERR_WRONG_RECORD);
        }
    }
}

using Palette = std::array<std::array<std::uint8_t, 3>, 256>;

/// All 256 entries are set, so any index byte is safe: entries the table
/// does not define are black.
Palette MakePalette(const ColorMapObject* map)
{
    Palette palette{};
    if (map == nullptr || map->Colors == nullptr) {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            palette[static_cast<std::size_t>(i)] = {v, v, v};
        }
        return palette;
    }
    const int count = std::clamp(map->ColorCount, 0, 256);
    for (int i = 0; i < count; ++i) {
        const GifColorType& c = map->Colors[i];
        palette[static_cast<std::size_t>(i)] = {c.Red, c.Green, c.Blue};
    }
    return palette;
}

} // namespace

RgbImage DecodeGif(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels)
{
    GifSource source{bytes.data(), bytes.size(), 0};
    const GifHandle gif(source);
    SeekFirstFrame(gif.get());
    const GifImageDesc& frame = gif->Image;
    const std::int64_t left = frame.Left, top = frame.Top, frameWidth = frame.Width, frameHeight = frame.Height;
    const std::int64_t width = std::max<std::int64_t>(gif->SWidth, left + frameWidth);
    const std::int64_t height = std::max<std::int64_t>(gif->SHeight, top + frameHeight);
    CheckImageSize(width, height, maxPixels);
    RgbImage image(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));

    const bool frameCoversScreen = left == 0 && top == 0 && frameWidth == width && frameHeight == height;
    if (!frameCoversScreen) {
        std::array<std::uint8_t, 3> background{0, 0, 0};
        const ColorMapObject* screenMap = gif->SColorMap;
        if (screenMap != nullptr && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < screenMap->ColorCount) {
            const GifColorType& c = screenMap->Colors[gif->SBackGroundColor];
            background = {c.Red, c.Green, c.Blue};
        }
        std::uint8_t* p = image.Data();
        for (std::size_t i = 0, n = image.SizeBytes(); i < n; i += 3) std::memcpy(p + i, background.data(), 3);
    }
    if (frameWidth <= 0 || frameHeight <= 0) return image;

    const Palette palette = MakePalette(frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap);
    std::vector<GifPixelType> line(static_cast<std::size_t>(frameWidth));
    auto readLine = [&](std::int64_t y) {
        if (DGifGetLine(gif.get(), line.data(), static_cast<int>(frameWidth)) == GIF_ERROR) GifFail(gif->Error);
        std::uint8_t* out = image.Row(static_cast<std::int32_t>(top + y)) + left * 3;
        for (std::int64_t x = 0; x < frameWidth; ++x, out += 3)
            std::memcpy(out, palette[line[static_cast<std::size_t>(x)]].data(), 3);
    };
    if (frame.Interlace) {
        // Rows 0, 8, 16…; then 4, 12…; then 2, 6…; then 1, 3, 5….
        constexpr std::int64_t kStart[4] = {0, 4, 2, 1};
        constexpr std::int64_t kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::int64_t y = kStart[pass]; y < frameHeight; y += kStep[pass]) readLine(y);
    } else {
        for (std::int64_t y = 0; y < frameHeight; ++y) readLine(y);
    }
    return image;
}

} // namespace orvane::image
