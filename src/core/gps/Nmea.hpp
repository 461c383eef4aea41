#pragma once

// NMEA 0183 reading: the sentence handler (checksum, GGA for the position,
// RMC for speed and course) and the line buffer that cuts the byte stream of
// a receiver into sentences. Both are free of I/O.

#include "gps/TGpsFix.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace orvane::gps {

/// Bytes requested from the port by one read.
inline constexpr std::size_t kReadChunkSize = 1023;

/// Handles one sentence (the bytes of a line without its line feed) on top
/// of the current fix. Returns the new fix when the sentence is an accepted
/// GGA or RMC sentence, nullopt when it is dropped.
///
/// - Checksum: the exclusive-or of the bytes from position 1 up to the first
///   '*' must equal the two hexadecimal digits after it; a sentence without
///   '*' is dropped. The byte at position 0 (normally '$') is not checked.
/// - Type: the three characters at positions 3..5; the talker is not checked.
/// - GGA: dropped with 0 satellites in use (field 7; an empty field counts as
///   present). Latitude ddmm.mmmm (field 2, "S" in field 3 negates) and
///   longitude dddmm.mmmm (field 4, "W" in field 5 negates) keep four
///   decimals of the minutes; an empty field gives 0.
/// - RMC: dropped unless field 2 starts with "A". Speed (field 7, knots) is
///   truncated to tenths and stored in km/h; an empty field reads as 0.
///   Only above 3.0 km/h the course (field 8, tenths, negative values + 360)
///   is taken; an empty course field keeps the previous one.
/// - A field that does not read as its form requires drops the sentence.
std::optional<TGpsFix> HandleSentence(std::string_view sentence, const TGpsFix& current) noexcept;

/// The receiver's line buffer: unconsumed bytes always start at the front.
/// When appended bytes do not fit, the oldest bytes are dropped, so the
/// buffer is never written beyond its end and the newest bytes are kept.
class LineBuffer {
public:
    static constexpr std::size_t kCapacity = 1025;

    void Append(std::span<const char> bytes) noexcept;

    /// How many bytes the next read should ask for: as many as fit, at
    /// most kReadChunkSize, so that a line that fits the buffer is never
    /// cut. Only a full buffer (a line longer than the buffer) asks for a
    /// whole chunk, whose arrival drops the oldest bytes.
    std::size_t NextReadSize() const noexcept
    {
        const std::size_t room = kCapacity - m_count;
        return room == 0 ? kReadChunkSize : (room < kReadChunkSize ? room : kReadChunkSize);
    }

    /// Hands every complete line (the bytes before a line feed, without it)
    /// to `handle` in order, then removes those lines and their line feeds.
    template <class Handle>
    void TakeLines(Handle&& handle)
    {
        const std::string_view held(m_bytes.data(), m_count);
        std::size_t start = 0;
        for (auto lf = held.find('\n'); lf != std::string_view::npos; lf = held.find('\n', start)) {
            handle(held.substr(start, lf - start));
            start = lf + 1;
        }
        if (start == 0) return;
        std::memmove(m_bytes.data(), m_bytes.data() + start, m_count - start);
        m_count -= start;
    }

    /// The bytes not yet handed out as lines.
    std::string_view Pending() const noexcept { return {m_bytes.data(), m_count}; }

private:
    std::array<char, kCapacity> m_bytes{};
    std::size_t m_count = 0;
};

} // namespace orvane::gps
