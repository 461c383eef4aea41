#include "gps/SerialPort.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::gps {

namespace {

struct BaudSpeed {
    std::uint32_t baud;
    speed_t speed;
};

constexpr std::array kSpeeds = {
    BaudSpeed{50, B50},           BaudSpeed{75, B75},           BaudSpeed{110, B110},
    BaudSpeed{134, B134},         BaudSpeed{150, B150},         BaudSpeed{200, B200},
    BaudSpeed{300, B300},         BaudSpeed{600, B600},         BaudSpeed{1200, B1200},
    BaudSpeed{1800, B1800},       BaudSpeed{2400, B2400},       BaudSpeed{4800, B4800},
    BaudSpeed{9600, B9600},       BaudSpeed{19200, B19200},     BaudSpeed{38400, B38400},
    BaudSpeed{57600, B57600},     BaudSpeed{115200, B115200},   BaudSpeed{230400, B230400},
    BaudSpeed{460800, B460800},   BaudSpeed{500000, B500000},   BaudSpeed{576000, B576000},
    BaudSpeed{921600, B921600},   BaudSpeed{1000000, B1000000}, BaudSpeed{1152000, B1152000},
    BaudSpeed{1500000, B1500000}, BaudSpeed{2000000, B2000000}, BaudSpeed{2500000, B2500000},
    BaudSpeed{3000000, B3000000}, BaudSpeed{3500000, B3500000}, BaudSpeed{4000000, B4000000},
};

std::optional<speed_t> SpeedOf(std::uint32_t baud)
{
    const auto* it = std::find_if(kSpeeds.begin(), kSpeeds.end(), [baud](const BaudSpeed& s) { return s.baud == baud; });
    if (it == kSpeeds.end()) return std::nullopt;
    return it->speed;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<PortAddress> ResolvePortName(std::string_view portName)
{
    PortAddress address;
    const auto colon = portName.rfind(':');
    if (colon != std::string_view::npos && colon + 1 < portName.size()) {
        const auto digits = portName.substr(colon + 1);
        if (std::all_of(digits.begin(), digits.end(), IsDigit)) {
            std::uint32_t baud = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), baud);
            if (ec != std::errc{} || end != digits.data() + digits.size() || !SpeedOf(baud)) return std::nullopt;
            address.baud = baud;
            portName = portName.substr(0, colon);
        }
    }
    if (portName.empty()) return std::nullopt;
    if (portName.find('/') == std::string_view::npos) address.devicePath = "/dev/";
    address.devicePath += portName;
    return address;
}

bool SerialPort::Open(std::string_view portName)
{
    Close();
    const auto address = ResolvePortName(portName);
    if (!address) return false;
    m_fd = ::open(address->devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) return false;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        Close();
        return false;
    }
    termios found {};
    if (::tcgetattr(m_fd, &found) != 0) {
        // Not a terminal: a recorded log or a pipe is read as it is, unless
        // a speed was asked for.
        if (address->baud) {
            Close();
            return false;
        }
        return true;
    }
    int exclusive = 0;
    if (::ioctl(m_fd, TIOCGEXCL, &exclusive) != 0) exclusive = 0;
    if (exclusive == 0 && ::ioctl(m_fd, TIOCEXCL) != 0) {
        Close();
        return false;
    }
    m_releaseExclusive = exclusive == 0;
    m_saved = found;
    termios raw = found;
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (address->baud) {
        const speed_t speed = *SpeedOf(*address->baud);
        ::cfsetispeed(&raw, speed);
        ::cfsetospeed(&raw, speed);
    }
    if (::tcsetattr(m_fd, TCSANOW, &raw) != 0) {
        Close();
        return false;
    }
    return true;
}

void SerialPort::Close() noexcept
{
    if (m_fd < 0) return;
    if (m_saved) {
        ::tcsetattr(m_fd, TCSANOW, &*m_saved);
        m_saved.reset();
    }
    if (std::exchange(m_releaseExclusive, false)) ::ioctl(m_fd, TIOCNXCL);
    ::close(std::exchange(m_fd, -1));
}

ssize_t SerialPort::Read(std::span<char> into) noexcept
{
    return ::read(m_fd, into.data(), into.size());
}

} // namespace orvane::gps
