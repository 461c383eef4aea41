#include "gps/gpsThrd.hpp"

#include "gps/SerialPort.hpp"
#include "util/Messages.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orvane::gps {

namespace {

/// Calls a notification; what it throws stays here.
template <class Callback, class... Args>
void Notify(const Callback& callback, Args&&... args) noexcept
{
    if (!callback) return;
    try {
        callback(std::forward<Args>(args)...);
    } catch (...) {
    }
}

/// An eventfd that a stop request makes readable, so that waiting for data
/// ends at once.
class Wakeup {
public:
    Wakeup() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Wakeup()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    int Handle() const noexcept { return m_fd; }
    void Signal() const noexcept
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_fd, &one, sizeof one);
    }

private:
    int m_fd;
};

} // namespace

TGPSThread::TGPSThread(std::string portName, GpsCallbacks callbacks)
    : m_portName(std::move(portName)), m_callbacks(std::move(callbacks)),
      m_thread([this](std::stop_token stop) { Run(std::move(stop)); })
{
}

TGPSThread::~TGPSThread()
{
    m_thread.request_stop();
    if (m_thread.joinable()) m_thread.join();
}

void TGPSThread::Terminate() noexcept
{
    m_thread.request_stop();
}

void TGPSThread::Run(std::stop_token stop) noexcept
{
    try {
        ReadPort(stop);
    } catch (...) {
        // Only allocation can fail here; the thread just ends.
    }
    Notify(m_callbacks.OnEnd);
}

void TGPSThread::ReadPort(const std::stop_token& stop)
{
    SerialPort port;
    const Wakeup wakeup;
    if (wakeup.Handle() < 0 || !port.Open(m_portName)) {
        Notify(m_callbacks.OnError, msg::ErrorConnectingTo(m_portName));
        return;
    }
    const std::stop_callback onStop(stop, [&wakeup]() noexcept { wakeup.Signal(); });

    std::array<char, kReadChunkSize> chunk{};
    std::array<pollfd, 2> waits{pollfd{port.Handle(), POLLIN, 0}, pollfd{wakeup.Handle(), POLLIN, 0}};
    while (!stop.stop_requested()) {
        if (::poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (stop.stop_requested()) return;
        const short events = waits[0].revents;
        if ((events & POLLNVAL) != 0) return;
        if (events == 0) continue;
        const ssize_t count = port.Read(std::span<char>(chunk.data(), m_buffer.NextReadSize()));
        if (count < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return;
        }
        if (count == 0) return; // hang-up, or the end of a recorded file
        m_buffer.Append(std::span<const char>(chunk.data(), static_cast<std::size_t>(count)));
        if (stop.stop_requested()) return;
        m_buffer.TakeLines([this](std::string_view line) { HandleLine(line); });
    }
}

void TGPSThread::HandleLine(std::string_view line) noexcept
{
    const auto fix = HandleSentence(line, m_fix);
    if (!fix) return;
    m_fix = *fix;
    Notify(m_callbacks.OnFix, m_fix);
}

} // namespace orvane::gps
