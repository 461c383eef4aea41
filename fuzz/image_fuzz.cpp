// Image decoders: the first byte picks the format (low bits) and whether the
// file is decoded from memory, as tiles are, or from a mapped file, as map
// images are (bit 7); the rest is the file. A small pixel limit makes a
// file that claims a huge image a refusal instead of an allocation.

#include "FuzzSupport.hpp"

#include "image/ImageCodecs.hpp"
#include "util/Error.hpp"

#include <array>
#include <cstdlib>

namespace {

using orvane::image::ImageType;

constexpr std::uint64_t kFuzzMaxPixels = 4'000'000;
constexpr std::array kTypes = {ImageType::Jpeg, ImageType::Png, ImageType::Gif, ImageType::Bmp, ImageType::Tiff};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orvane::fuzz::InputCursor input({data, size});
    const std::uint8_t selector = input.TakeByte();
    const ImageType type = kTypes[(selector & 0x7F) % kTypes.size()];
    const bool fromFile = (selector & 0x80) != 0;
    try {
        orvane::image::RgbImage image;
        if (fromFile) {
            const auto file = orvane::fuzz::ScratchDir() / "fuzz.img";
            orvane::fuzz::WriteWholeFile(file, input.Rest());
            image = orvane::image::DecodeImageFile(file, type, kFuzzMaxPixels);
        } else {
            image = orvane::image::DecodeImage(input.Rest(), type, kFuzzMaxPixels);
        }
        const auto pixels = static_cast<std::uint64_t>(image.Width()) * static_cast<std::uint64_t>(image.Height());
        if (image.Empty() || pixels > kFuzzMaxPixels) std::abort();
        // Touch the first and last pixel rows: every row must be written.
        volatile std::uint8_t sink = image.Row(0)[0];
        sink = image.Row(image.Height() - 1)[image.Stride() - 1];
        (void)sink;
    } catch (const orvane::Error&) {
    }
    return 0;
}
