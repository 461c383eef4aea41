#include "mapview/PlanFile.hpp"

#include "util/Error.hpp"
#include "util/FileIo.hpp"
#include "util/Messages.hpp"
#include "util/TextCodec.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvane::mapview {
namespace {

constexpr std::size_t kLevelOffset = 32;
constexpr std::size_t kMapTypeOffset = 36;
constexpr std::size_t kCaptionLengthOffset = 40;
constexpr std::size_t kCaptionOffset = 41;

void PutU32(std::uint8_t* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU64(std::uint8_t* at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

std::uint64_t GetU64(const std::uint8_t* at)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | at[i];
    return v;
}

void PutDouble(std::uint8_t* at, double v) { PutU64(at, std::bit_cast<std::uint64_t>(v)); }
double GetDouble(const std::uint8_t* at) { return std::bit_cast<double>(GetU64(at)); }

std::int32_t GetI32(const std::uint8_t* at) { return static_cast<std::int32_t>(GetU32(at)); }

/// `text` with every character outside ASCII replaced by '?', one per
/// UTF-8 sequence.
std::string AsciiOnly(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) out += c;
        else if ((b & 0xC0) != 0x80) out += '?'; // lead byte (or stray byte) of a non-ASCII character
    }
    return out;
}

/// The caption in the record's code page; characters it cannot hold become '?'.
std::string CaptionToCodePage(std::string_view utf8)
{
    if (auto converted = Utf8ToCp1251(utf8)) return std::move(*converted);
    return AsciiOnly(utf8);
}

std::string CaptionFromCodePage(std::string_view stored)
{
    if (auto converted = Cp1251ToUtf8(stored)) return std::move(*converted);
    std::string out;
    for (char c : stored) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
}

} // namespace

CompileRegionBytes EncodeCompileRegion(const TCompileRegion& region)
{
    CompileRegionBytes out{};
    PutDouble(&out[0], region.topLat);
    PutDouble(&out[8], region.leftLon);
    PutDouble(&out[16], region.bottomLat);
    PutDouble(&out[24], region.rightLon);
    PutU32(&out[kLevelOffset], static_cast<std::uint32_t>(region.level));
    out[kMapTypeOffset] = region.mapType;
    std::string caption = CaptionToCodePage(region.caption);
    if (caption.size() > kMaxCaptionLength) caption.resize(kMaxCaptionLength);
    out[kCaptionLengthOffset] = static_cast<std::uint8_t>(caption.size());
    std::memcpy(&out[kCaptionOffset], caption.data(), caption.size());
    return out;
}

TCompileRegion DecodeCompileRegion(std::span<const std::uint8_t> bytes)
{
    assert(bytes.size() <= kCompileRegionSize);
    CompileRegionBytes full{};
    const std::size_t received = std::min(bytes.size(), kCompileRegionSize);
    std::copy_n(bytes.begin(), received, full.begin());

    TCompileRegion region;
    region.topLat = GetDouble(&full[0]);
    region.leftLon = GetDouble(&full[8]);
    region.bottomLat = GetDouble(&full[16]);
    region.rightLon = GetDouble(&full[24]);
    region.level = GetI32(&full[kLevelOffset]);
    region.mapType = full[kMapTypeOffset];
    std::size_t length = std::min<std::size_t>(full[kCaptionLengthOffset], kMaxCaptionLength);
    length = std::min(length, received > kCaptionOffset ? received - kCaptionOffset : 0);
    region.caption = CaptionFromCodePage(
        std::string_view(reinterpret_cast<const char*>(&full[kCaptionOffset]), length));
    return region;
}

std::string EncodePlan(std::span<const TCompileRegion> regions)
{
    std::string out;
    out.reserve(4 + regions.size() * (4 + kCompileRegionSize));
    auto putI32 = [&out](std::uint32_t v) {
        std::uint8_t b[4];
        PutU32(b, v);
        out.append(reinterpret_cast<const char*>(b), 4);
    };
    putI32(static_cast<std::uint32_t>(regions.size()));
    for (const auto& region : regions) {
        putI32(static_cast<std::uint32_t>(kCompileRegionSize));
        const auto record = EncodeCompileRegion(region);
        out.append(reinterpret_cast<const char*>(record.data()), record.size());
    }
    return out;
}

std::vector<TCompileRegion> DecodePlan(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t total = bytes.size();
    if (total < 4) throw Error(msg::PlanWithoutCount(total));
    const std::int32_t count = GetI32(data);
    if (count < 0) throw Error(msg::PlanNegativeCount(count));

    std::vector<TCompileRegion> regions;
    std::size_t pos = 4;
    for (std::int32_t i = 1; i <= count; ++i) {
        if (total - pos < 4) throw Error(msg::PlanSizeMissing(i, count));
        const std::int32_t size = GetI32(data + pos);
        pos += 4;
        if (size < 0 || static_cast<std::size_t>(size) > kCompileRegionSize)
            throw Error(msg::PlanBadRecordSize(i, size));
        if (total - pos < static_cast<std::size_t>(size))
            throw Error(msg::PlanRecordTruncated(i, size, total - pos));
        regions.push_back(DecodeCompileRegion({data + pos, static_cast<std::size_t>(size)}));
        pos += static_cast<std::size_t>(size);
    }
    return regions;
}

std::filesystem::path PlanFileName(const std::filesystem::path& chosen)
{
    auto name = chosen;
    name.replace_extension(".mapp");
    return name;
}

std::filesystem::path SavePlan(const std::filesystem::path& chosen, std::span<const TCompileRegion> regions)
{
    const auto target = PlanFileName(chosen);
    auto scratch = target;
    scratch += ".tmp";
    const std::string bytes = EncodePlan(regions);

    std::FILE* file = std::fopen(scratch.c_str(), "wb");
    if (file == nullptr) throw Error(msg::CannotWriteFile(target.string(), SystemErrorText(errno)));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    const int closeErrno = errno;
    if (!written || !closed) {
        std::error_code ignored;
        std::filesystem::remove(scratch, ignored);
        throw Error(msg::CannotWriteFile(target.string(), SystemErrorText(!written ? writeErrno : closeErrno)));
    }
    std::error_code renameError;
    std::filesystem::rename(scratch, target, renameError);
    if (renameError) {
        std::error_code ignored;
        std::filesystem::remove(scratch, ignored);
        throw Error(msg::CannotWriteFile(target.string(), renameError.message()));
    }
    return target;
}

void LoadPlan(const std::filesystem::path& path, std::vector<TCompileRegion>& regions)
{
    const std::string bytes = ReadWholeFile(path);
    std::vector<TCompileRegion> loaded;
    try {
        loaded = DecodePlan(bytes);
    } catch (const Error& e) {
        throw Error(msg::CannotLoadPlan(path.string(), e.what()));
    }
    regions = std::move(loaded);
}

} // namespace orvane::mapview
