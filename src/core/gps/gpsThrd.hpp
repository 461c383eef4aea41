#pragma once

// The GPS receiver: one thread that reads NMEA sentences from a serial
// device and hands each new fix to its owner.
//
// Life cycle: running (created; opening, then reading) -> stopping
// (Terminate called; the wait for data is woken at once) -> ended (port
// closed and given back as found; OnEnd called). A port that cannot be
// opened reports ErrorConnectingTo(port name as typed) through OnError and
// ends; a failed read (device removed, end of a recorded file) ends silently.

#include "gps/Nmea.hpp"
#include "gps/TGpsFix.hpp"

#include <functional>
#include <stop_token>
#include <string>
#include <thread>

namespace orvane::gps {

/// The receiver's notifications. All run on the receiver's thread, so an
/// owner that draws posts them to its own thread; none may destroy the
/// receiver. Exceptions they throw are swallowed. Any may be empty.
struct GpsCallbacks {
    /// After each accepted GGA or RMC sentence: a copy of the whole record.
    std::function<void(TGpsFix)> OnFix;
    /// The text of a failure the user should see, before OnEnd.
    std::function<void(const std::string&)> OnError;
    /// Last call of the thread, after the port has been closed.
    std::function<void()> OnEnd;
};

class TGPSThread {
public:
    /// Create: stores the port name and starts the thread. The callbacks are
    /// in place before the first sentence is handled.
    TGPSThread(std::string portName, GpsCallbacks callbacks);
    /// Asks the thread to stop and waits for its end.
    ~TGPSThread();
    TGPSThread(const TGPSThread&) = delete;
    TGPSThread& operator=(const TGPSThread&) = delete;

    /// Terminate: asks the thread to stop without waiting. Bytes read after
    /// the request are not handled.
    void Terminate() noexcept;

    /// The port name as typed by the user.
    const std::string& PortName() const noexcept { return m_portName; }

private:
    void Run(std::stop_token stop) noexcept;
    void ReadPort(const std::stop_token& stop);
    void HandleLine(std::string_view line) noexcept;

    const std::string m_portName;
    const GpsCallbacks m_callbacks;
    // Used by the receiver's thread only.
    LineBuffer m_buffer;
    TGpsFix m_fix;
    std::jthread m_thread; // last: starts once everything above exists
};

} // namespace orvane::gps
