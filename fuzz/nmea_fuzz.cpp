// NMEA input: the first byte seeds the chunk sizes; the rest is the byte
// stream of a receiver, appended to the line buffer in reads of those sizes
// (never more than the buffer asks for, as the receiver thread reads) and
// cut into sentences that go through the sentence handler.

#include "FuzzSupport.hpp"

#include "gps/Nmea.hpp"

#include <cmath>
#include <cstdlib>

namespace {

using namespace orvane::gps;

/// Chunk sizes from a small generator, so that the stream's bytes stay the
/// stream's and the seed alone varies the cutting.
class ChunkSizes {
public:
    explicit ChunkSizes(std::uint8_t seed) : m_state(seed * 2654435761u + 1) {}

    std::size_t Next(std::size_t most)
    {
        m_state = m_state * 1103515245u + 12345u;
        const std::uint32_t r = m_state >> 8;
        // Often one byte or a whole read, otherwise anything in between.
        switch (r % 4) {
        case 0: return 1;
        case 1: return most;
        default: return 1 + (r >> 2) % most;
        }
    }

private:
    std::uint32_t m_state;
};

/// Numbers come from bounded digit runs, so a fix is always finite.
void CheckFix(const TGpsFix& fix)
{
    if (!std::isfinite(fix.Latitude) || !std::isfinite(fix.Longitude) || !std::isfinite(fix.Speed) ||
        !std::isfinite(fix.Course))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    orvane::fuzz::InputCursor input({data, size});
    ChunkSizes sizes(input.TakeByte());
    const std::string_view stream = orvane::fuzz::AsText(input.Rest());

    LineBuffer buffer;
    TGpsFix fix;
    auto handle = [&fix](std::string_view line) {
        if (line.size() > LineBuffer::kCapacity) std::abort();
        if (const auto next = HandleSentence(line, fix)) {
            fix = *next;
            CheckFix(fix);
        }
    };
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t ask = buffer.NextReadSize();
        if (ask == 0 || ask > kReadChunkSize) std::abort();
        std::size_t n = sizes.Next(ask);
        if (n > stream.size() - at) n = stream.size() - at;
        buffer.Append(std::span<const char>(stream.data() + at, n));
        at += n;
        if (buffer.Pending().size() > LineBuffer::kCapacity) std::abort();
        buffer.TakeLines(handle);
    }
    // A whole chunk larger than the buffer, as a misbehaving port might give.
    LineBuffer flooded;
    flooded.Append(std::span<const char>(stream.data(), stream.size()));
    flooded.TakeLines(handle);

    // The whole stream as one sentence.
    (void)HandleSentence(stream, TGpsFix{});
    return 0;
}
