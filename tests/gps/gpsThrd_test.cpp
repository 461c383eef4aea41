#include "gps/gpsThrd.hpp"

#include "support/CaseName.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <condition_variable>
#include <locale>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace orvane::gps {
namespace {

// Bounds every wait, so that a broken receiver fails the test instead of
// hanging it. Not a timing assertion: passing runs never come near it.
constexpr auto kGuard = std::chrono::seconds(10);
constexpr int kGuardMs = 10'000;

constexpr double kMin = 0.01666666666667;

/// A pseudo-terminal: the test writes to the master side, the receiver opens
/// the slave side by its name. The test keeps the slave open too, to look at
/// its settings.
class Pty {
public:
    /// `raw`: start in raw mode, so that bytes written before the receiver
    /// has set the device up arrive unchanged; otherwise the terminal
    /// starts cooked, as a freshly plugged device does.
    explicit Pty(bool raw)
    {
        termios settings{};
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        if (::openpty(&m_master, &m_slave, nullptr, raw ? &settings : nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        char name[256];
        if (::ttyname_r(m_slave, name, sizeof name) != 0) throw std::runtime_error("ttyname_r failed");
        m_name = name;
    }
    ~Pty()
    {
        CloseMaster();
        ::close(m_slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Name() const { return m_name; }
    int Slave() const { return m_slave; }

    /// Writes all bytes; false when the receiver stops taking them.
    bool Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(m_master, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd wait{m_master, POLLOUT, 0};
            if (::poll(&wait, 1, kGuardMs) <= 0) return false;
        }
        return true;
    }

    /// Hangs the terminal up, as an unplugged device.
    void CloseMaster()
    {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_name;
};

/// Collects what a receiver reports, from its thread.
class Recorder {
public:
    GpsCallbacks Callbacks()
    {
        return {[this](TGpsFix fix) { Record([&] { m_fixes.push_back(fix); }); },
                [this](const std::string& text) { Record([&] { m_events.push_back("error: " + text); }); },
                [this]() {
                    Record([&] {
                        m_events.emplace_back("end");
                        m_ended = true;
                    });
                }};
    }

    /// True once `count` fixes have arrived; false when the receiver ended
    /// before, or the guard ran out.
    bool WaitForFixes(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, kGuard, [&] { return m_fixes.size() >= count || m_ended; });
        return m_fixes.size() >= count;
    }
    bool WaitForEnd()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kGuard, [&] { return m_ended; });
    }
    std::vector<TGpsFix> Fixes() const
    {
        std::lock_guard lock(m_mutex);
        return m_fixes;
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    template <class Change>
    void Record(Change change)
    {
        {
            std::lock_guard lock(m_mutex);
            change();
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<TGpsFix> m_fixes;
    std::vector<std::string> m_events; // errors and the end, in order
    bool m_ended = false;
};

void ExpectSameFix(const TGpsFix& actual, const TGpsFix& expected, double tolerance)
{
    EXPECT_NEAR(actual.Latitude, expected.Latitude, tolerance);
    EXPECT_NEAR(actual.Longitude, expected.Longitude, tolerance);
    EXPECT_NEAR(actual.Speed, expected.Speed, tolerance);
    EXPECT_NEAR(actual.Course, expected.Course, tolerance);
    EXPECT_EQ(actual.WholeCourse, expected.WholeCourse);
}

const std::string kGgaMunich = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const std::string kRmcMunich = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
const std::string kGgaSydney = "$GPGGA,123520,3355.500,S,15112.250,E,1,07,0.9,545.4,M,46.9,M,,*59\r\n";
const std::string kRmcSydneyFast = "$GPRMC,123520,A,3355.500,S,15112.250,E,045.0,200.0,230394,003.1,W*74\r\n";
const std::string kRmcSydneySlow = "$GPRMC,123521,A,3355.500,S,15112.250,E,000.9,010.0,230394,003.1,W*7E\r\n";
// Ends every stream, so that once its fix has arrived all before it has been handled.
const std::string kGgaLast = "$GPGGA,123522,1000.000,N,02000.000,E,1,07,0.9,545.4,M,46.9,M,,*41\r\n";

constexpr double kMunichLat = 48 + 7.038 * kMin;
constexpr double kMunichLon = 11 + 31 * kMin;
constexpr double kSydneyLat = -(33 + 55.5 * kMin);
constexpr double kSydneyLon = 151 + 12.25 * kMin;
constexpr TGpsFix kLastFix{10, 20, 0, 0, 0};

// ---- streams written through the terminal --------------------------------

struct Write {
    std::string bytes;
    std::size_t awaitFixes; // fixes to wait for before the next write
};

struct StreamCase {
    const char* name;
    std::vector<Write> writes;
    std::vector<TGpsFix> expected;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

const std::vector<StreamCase> kStreamCases = {
    {"two_sentences_in_one_write",
     {{kGgaMunich + kRmcMunich, 2}},
     {{kMunichLat, kMunichLon, 0, 0, 0}, {kMunichLat, kMunichLon, 41.4848, 84.4, 84}}},
    {"sentence_split_across_reads",
     {{kGgaMunich + kRmcMunich.substr(0, 20), 1}, {kRmcMunich.substr(20), 2}},
     {{kMunichLat, kMunichLon, 0, 0, 0}, {kMunichLat, kMunichLon, 41.4848, 84.4, 84}}},
    {"moving_south_then_slowing",
     {{kGgaSydney + kRmcSydneyFast, 2}, {kRmcSydneySlow, 3}},
     {{kSydneyLat, kSydneyLon, 0, 0, 0},
      {kSydneyLat, kSydneyLon, 45 * 1.852, 200, 200},
      {kSydneyLat, kSydneyLon, 0.9 * 1.852, 200, 200}}},
    {"wrong_checksums_dropped",
     {{"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B\r\n"
       "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n"
       "$GPGGA,123519,4807.039,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n" +
           kGgaLast,
       1}},
     {kLastFix}},
    {"status_void_dropped",
     {{"$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*7D\r\n" + kGgaLast, 1}},
     {kLastFix}},
    // The overlong line starts with a whole valid sentence: only dropping its
    // oldest bytes keeps it from being read.
    {"line_longer_than_buffer",
     {{kGgaMunich.substr(0, kGgaMunich.size() - 2) + std::string(1000, 'x'), 0},
      {std::string(1000, 'x'), 0},
      {std::string(1000, 'x') + "\r\n" + kGgaLast, 1}},
     {kLastFix}},
};

class ReceiverStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ReceiverStreamTest, HandsOverTheFixesInOrder)
{
    const auto& c = GetParam();
    Pty pty(true);
    Recorder recorder;
    TGPSThread receiver(pty.Name(), recorder.Callbacks());
    for (const auto& write : c.writes) {
        ASSERT_TRUE(pty.Write(write.bytes));
        ASSERT_TRUE(recorder.WaitForFixes(write.awaitFixes));
    }
    receiver.Terminate();
    ASSERT_TRUE(recorder.WaitForEnd());

    const auto fixes = recorder.Fixes();
    ASSERT_EQ(fixes.size(), c.expected.size());
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        SCOPED_TRACE("fix " + std::to_string(i));
        ExpectSameFix(fixes[i], c.expected[i], 1e-12);
    }
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
}

INSTANTIATE_TEST_SUITE_P(Streams, ReceiverStreamTest, ::testing::ValuesIn(kStreamCases), orvane::test::CaseName{});

// ---- logs of real receivers ------------------------------------------------

struct LogCase {
    const char* name;
    const char* stem; // <stem>.log is the log, <stem>.fixes the fixes it gives
};
void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

const LogCase kLogCases[] = {
    {"bu353_glonass_gn_and_gp_talkers", "bu353-glonass"},
    {"garmin_25lp_void_and_no_satellites", "garmin25lp"},
    {"mt3339_western_longitudes", "mt3339"},
};

/// One fix per line: latitude, longitude, speed, course (nine decimals) and
/// the whole course.
std::vector<TGpsFix> ReadFixes(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::vector<TGpsFix> fixes;
    TGpsFix fix;
    while (in >> fix.Latitude >> fix.Longitude >> fix.Speed >> fix.Course >> fix.WholeCourse) fixes.push_back(fix);
    return fixes;
}

class ReceiverLogTest : public ::testing::TestWithParam<LogCase> {};

TEST_P(ReceiverLogTest, GivesTheFixesOfTheLog)
{
    const std::string base = std::string(ORVANE_TEST_DATA) + "/nmea/" + GetParam().stem;
    const std::string log = orvane::test::ReadFile(base + ".log");
    const auto expected = ReadFixes(orvane::test::ReadFile(base + ".fixes"));
    ASSERT_FALSE(expected.empty());

    Pty pty(true);
    Recorder recorder;
    TGPSThread receiver(pty.Name(), recorder.Callbacks());
    ASSERT_TRUE(pty.Write(log + kGgaLast));
    ASSERT_TRUE(recorder.WaitForFixes(expected.size() + 1));
    receiver.Terminate();
    ASSERT_TRUE(recorder.WaitForEnd());

    const auto fixes = recorder.Fixes();
    ASSERT_EQ(fixes.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("fix " + std::to_string(i));
        ExpectSameFix(fixes[i], expected[i], 1e-9); // the file keeps nine decimals
    }
    EXPECT_EQ(fixes.back().Latitude, kLastFix.Latitude);
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
}

INSTANTIATE_TEST_SUITE_P(Logs, ReceiverLogTest, ::testing::ValuesIn(kLogCases), orvane::test::CaseName{});

// ---- opening the port ------------------------------------------------------

struct OpenFailureCase {
    const char* name;
    const char* portName;
    bool afterTerminalPath; // portName is appended to the path of a live terminal
};
void PrintTo(const OpenFailureCase& c, std::ostream* os) { *os << c.name; }

const OpenFailureCase kOpenFailureCases[] = {
    {"missing_device", "ttyOrvaneMissing0", false},
    {"directory", "/dev/", false},
    {"speed_the_terminal_does_not_offer", ":1234", true},
};

class ReceiverOpenFailureTest : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(ReceiverOpenFailureTest, ReportsTheNameAsTypedAndEnds)
{
    const auto& c = GetParam();
    Pty pty(true);
    const std::string portName = (c.afterTerminalPath ? pty.Name() : std::string()) + c.portName;
    Recorder recorder;
    TGPSThread receiver(portName, recorder.Callbacks());
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"error: Error connecting to " + portName, "end"}));
    EXPECT_TRUE(recorder.Fixes().empty());
}

INSTANTIATE_TEST_SUITE_P(Ports, ReceiverOpenFailureTest, ::testing::ValuesIn(kOpenFailureCases),
                         orvane::test::CaseName{});

struct SettingsCase {
    const char* name;
    const char* suffix;
    speed_t speedWhileOpen; // 0: the speed the terminal had
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

const SettingsCase kSettingsCases[] = {
    {"speed_kept", "", 0},
    {"speed_from_name", ":4800", B4800},
};

class ReceiverDeviceTest : public ::testing::TestWithParam<SettingsCase> {};

int Exclusive(int fd)
{
    int exclusive = -1;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    return exclusive;
}

// A terminal starts cooked, with echo; while the receiver reads it is raw and
// taken exclusively, and afterwards it is as it was.
TEST_P(ReceiverDeviceTest, SetsTheTerminalUpAndGivesItBack)
{
    const auto& c = GetParam();
    Pty pty(false);
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0u);

    Recorder recorder;
    TGPSThread receiver(pty.Name() + c.suffix, recorder.Callbacks());
    ASSERT_TRUE(pty.Write(kGgaMunich));
    ASSERT_TRUE(recorder.WaitForFixes(1));

    termios during{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &during), 0);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(during.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(during.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(::cfgetispeed(&during), c.speedWhileOpen != 0 ? c.speedWhileOpen : ::cfgetispeed(&before));
    EXPECT_EQ(Exclusive(pty.Slave()), 1);

    receiver.Terminate();
    ASSERT_TRUE(recorder.WaitForEnd());
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.Slave(), &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(Exclusive(pty.Slave()), 0);
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
}

INSTANTIATE_TEST_SUITE_P(Terminals, ReceiverDeviceTest, ::testing::ValuesIn(kSettingsCases),
                         orvane::test::CaseName{});

// ---- ending ----------------------------------------------------------------

TEST(ReceiverEndTest, StopsOnRequestWhileNoDataArrives)
{
    Pty pty(true);
    Recorder recorder;
    TGPSThread receiver(pty.Name(), recorder.Callbacks());
    ASSERT_TRUE(pty.Write(kGgaMunich));
    ASSERT_TRUE(recorder.WaitForFixes(1)); // now waiting for more data
    receiver.Terminate();
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
}

TEST(ReceiverEndTest, DestroyingTheReceiverStopsAndJoinsIt)
{
    Pty pty(true);
    Recorder recorder;
    auto receiver = std::make_unique<TGPSThread>(pty.Name(), recorder.Callbacks());
    ASSERT_TRUE(pty.Write(kGgaMunich));
    ASSERT_TRUE(recorder.WaitForFixes(1));
    receiver.reset();
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"}); // no wait: the thread has been joined
}

TEST(ReceiverEndTest, EndsSilentlyWhenTheDeviceGoesAway)
{
    Pty pty(true);
    Recorder recorder;
    TGPSThread receiver(pty.Name(), recorder.Callbacks());
    ASSERT_TRUE(pty.Write(kGgaMunich));
    ASSERT_TRUE(recorder.WaitForFixes(1));
    pty.CloseMaster();
    ASSERT_TRUE(recorder.WaitForEnd());
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
    EXPECT_EQ(recorder.Fixes().size(), 1u);
}

} // namespace
} // namespace orvane::gps
