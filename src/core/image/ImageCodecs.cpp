#include "image/ImageCodecs.hpp"

#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::image {

namespace {

/// A whole file mapped read-only. A file that cannot be mapped (an empty
/// file, a pipe) is read into memory instead.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& path)
    {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) throw Error(msg::CannotOpenFile(path.string(), SystemErrorText(errno)));
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            void* p = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, m_fd, 0);
            if (p != MAP_FAILED) {
                m_map = p;
                m_size = static_cast<std::size_t>(st.st_size);
                return;
            }
        }
        ::close(m_fd);
        m_fd = -1;
        const std::string bytes = ReadWholeFile(path);
        m_copy.assign(bytes.begin(), bytes.end());
    }
    ~MappedFile()
    {
        if (m_map != nullptr) ::munmap(m_map, m_size);
        if (m_fd >= 0) ::close(m_fd);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const std::uint8_t> Bytes() const
    {
        if (m_map != nullptr) return {static_cast<const std::uint8_t*>(m_map), m_size};
        return {m_copy.data(), m_copy.size()};
    }

private:
    int m_fd = -1;
    void* m_map = nullptr;
    std::size_t m_size = 0;
    std::vector<std::uint8_t> m_copy;
};

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

ImageType ImageTypeFromExtension(std::string_view bareName)
{
    // The extension starts at the last '.' after the last folder separator.
    const std::size_t cut = bareName.find_last_of(".\\/:");
    if (cut == std::string_view::npos || bareName[cut] != '.') return ImageType::Unknown;
    std::string ext(bareName.substr(cut));
    for (char& c : ext) c = AsciiUpper(c);
    if (ext == ".JPG" || ext == ".JPEG") return ImageType::Jpeg;
    if (ext == ".BMP") return ImageType::Bmp;
    if (ext == ".GIF") return ImageType::Gif;
    if (ext == ".PNG") return ImageType::Png;
    if (ext == ".TIF") return ImageType::Tiff;
    return ImageType::Unknown;
}

void CheckImageSize(std::int64_t width, std::int64_t height, std::uint64_t maxPixels)
{
    if (width <= 0 || height <= 0) throw Error(msg::ImageSizeInvalid(width, height));
    // RgbImage holds sides up to 2^31 - 1. The product below may wrap when a
    // side is longer than that, and such a side is refused on its own.
    constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    const bool sideTooLong = width > kMaxSide || height > kMaxSide;
    const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (sideTooLong || pixels > maxPixels) throw Error(msg::ImageTooLarge(width, height, maxPixels));
}

RgbImage DecodeImage(std::span<const std::uint8_t> bytes, ImageType type, std::uint64_t maxPixels)
{
    switch (type) {
    case ImageType::Jpeg: return DecodeJpeg(bytes, maxPixels);
    case ImageType::Png: return DecodePng(bytes, maxPixels);
    case ImageType::Gif: return DecodeGif(bytes, maxPixels);
    case ImageType::Bmp: return DecodeBmp(bytes, maxPixels);
    case ImageType::Tiff: return DecodeTiff(bytes, maxPixels);
    case ImageType::Unknown: break;
    }
    throw Error(std::string(msg::kImageTypeUnknown));
}

RgbImage DecodeImageFile(const std::filesystem::path& path, ImageType type, std::uint64_t maxPixels)
{
    const MappedFile file(path);
    try {
        return DecodeImage(file.Bytes(), type, maxPixels);
    } catch (const Error& e) {
        throw Error(msg::ImageFileUnreadable(path.string(), e.what()));
    }
}

std::vector<std::uint8_t> EncodeJpeg(const RgbImage& image, std::int32_t quality, JpegColour colour)
{
    return EncodeJpeg(image.Data(), image.Width(), image.Height(), quality, colour);
}

std::vector<std::uint8_t> EncodePng(const RgbImage& image)
{
    return EncodePng(image.Data(), image.Width(), image.Height());
}

} // namespace orvane::image
