// orvane gps DEVICE: the fixes of a GPS receiver, one line each, until Ctrl-C.

#include "Commands.hpp"

#include "gps/gpsThrd.hpp"
#include "util/Error.hpp"
#include "util/NumberText.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace orvane::cli {

namespace {

// The write end of the pipe the main thread waits on: a signal writes 'i'
// to it, the receiver's end notification 'e'.
volatile std::sig_atomic_t g_wakeFd = -1;

extern "C" void OnGpsInterrupt(int)
{
    const char byte = 'i';
    [[maybe_unused]] const auto written = ::write(g_wakeFd, &byte, 1);
}

/// Latitude, longitude, speed (km/h) and course (degrees) with nine
/// decimals and '.', separated by single blanks.
std::string FixLine(const gps::TGpsFix& fix)
{
    return FormatFixed(fix.Latitude, 9) + ' ' + FormatFixed(fix.Longitude, 9) + ' ' + FormatFixed(fix.Speed, 9) +
           ' ' + FormatFixed(fix.Course, 9) + '\n';
}

/// The pipe and the handlers of SIGINT and SIGTERM, given back as found.
class Wakeups {
public:
    Wakeups()
    {
        if (::pipe2(m_pipe, O_CLOEXEC) != 0) throw Error("orvane gps: cannot create a pipe");
        g_wakeFd = m_pipe[1];
        struct sigaction action {};
        action.sa_handler = OnGpsInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~Wakeups()
    {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
        g_wakeFd = -1;
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    Wakeups(const Wakeups&) = delete;
    Wakeups& operator=(const Wakeups&) = delete;

    void Signal(char byte) const { [[maybe_unused]] const auto written = ::write(m_pipe[1], &byte, 1); }
    /// Blocks until a byte arrives and returns it.
    char Wait() const
    {
        char byte = 0;
        while (::read(m_pipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
        return byte;
    }

private:
    int m_pipe[2] = {-1, -1};
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

} // namespace

int RunGps(Args& args)
{
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw UsageError{"expected one DEVICE"};

    const Wakeups wakeups;
    std::mutex errorMutex;
    std::string error;
    char reason = 0;
    {
        gps::TGPSThread receiver(positionals[0],
                                 {[](gps::TGpsFix fix) {
                                      const std::string line = FixLine(fix);
                                      std::fwrite(line.data(), 1, line.size(), stdout);
                                      std::fflush(stdout);
                                  },
                                  [&](const std::string& text) {
                                      const std::lock_guard lock(errorMutex);
                                      error = text;
                                  },
                                  [&wakeups]() { wakeups.Signal('e'); }});
        reason = wakeups.Wait();
    } // stops and joins the receiver
    if (!error.empty()) throw Error(error);
    return reason == 'i' ? kExitCancelled : kExitOk;
}

} // namespace orvane::cli
