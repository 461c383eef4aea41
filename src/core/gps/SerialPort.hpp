#pragma once

// The serial device a GPS receiver is read from, on Linux: the port name
// typed by the user names the device, which is opened read-only, taken
// exclusively and put in raw mode, and given back as it was found.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <sys/types.h>
#include <termios.h>

namespace orvane::gps {

/// Where a port name leads.
struct PortAddress {
    std::string devicePath;
    std::optional<std::uint32_t> baud; // line speed to set; none keeps the device's
    bool operator==(const PortAddress&) const = default;
};

/// A name without '/' names a device under /dev/ ("ttyUSB0" is
/// /dev/ttyUSB0); any other name is a path. A suffix ":BAUD" of digits sets
/// the line speed; other colons belong to the name (as in the
/// /dev/serial/by-path/ names). Nullopt for an empty name or a speed the
/// terminal interface does not offer.
std::optional<PortAddress> ResolvePortName(std::string_view portName);

/// An open device. A terminal device is set to raw 8-bit input (one byte
/// suffices for a read, modem lines ignored) and taken exclusively (no
/// further opens) while open; its speed stays as found unless the name asks
/// for one. Closing restores the settings and the exclusivity as found.
/// Other files (a recorded log, a pipe) are read as they are.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    /// Opens the device a port name leads to, non-blocking; false when the
    /// name does not resolve, the device cannot be opened or set up.
    bool Open(std::string_view portName);
    void Close() noexcept;

    /// The file descriptor to wait on, -1 when closed.
    int Handle() const noexcept { return m_fd; }
    /// read(2) on the device.
    ssize_t Read(std::span<char> into) noexcept;

private:
    int m_fd = -1;
    std::optional<termios> m_saved; // the settings found, for a terminal
    bool m_releaseExclusive = false; // we took the device exclusively
};

} // namespace orvane::gps
