#include "TerminalProgress.hpp"

#include "util/Messages.hpp"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace orvane::cli {

namespace {

std::atomic<bool> g_interrupted{false};

// The first Ctrl-C asks for Cancel (honoured before the next tile); a
// second one, for a user who will not wait, ends the program at once.
extern "C" void OnInterrupt(int)
{
    if (g_interrupted.exchange(true)) _exit(130);
}

std::string Clock(double seconds)
{
    const auto s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

} // namespace

InterruptWatch::InterruptWatch()
{
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_oldAction);
}

InterruptWatch::~InterruptWatch() { sigaction(SIGINT, &m_oldAction, nullptr); }

bool InterruptWatch::Interrupted() const { return g_interrupted.load(); }

TerminalProgress::TerminalProgress(bool quiet)
    : m_show(!quiet && isatty(STDERR_FILENO) == 1), m_start(std::chrono::steady_clock::now())
{
}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::Status(std::string_view text)
{
    if (m_show) std::cerr << "Converting " << text << "\n";
}

void TerminalProgress::Datum(std::string_view caption)
{
    if (m_show) std::cerr << msg::kUsedDatum << " " << caption << "\n";
}

void TerminalProgress::Label(std::string_view text)
{
    if (m_show && text == msg::kFinalBuild) {
        Finish();
        std::cerr << text << "\n";
    }
}

void TerminalProgress::TileCut(std::int64_t doneAtLevel, std::int64_t totalAtLevel, std::int32_t level,
                               std::int64_t doneOverall, std::int64_t totalOverall)
{
    if (!m_show) return;
    const auto now = std::chrono::steady_clock::now();
    if (doneOverall < totalOverall && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const double fraction = totalOverall > 0 ? static_cast<double>(doneOverall) / static_cast<double>(totalOverall) : 1;
    const double remaining = fraction > 0 ? elapsed / fraction - elapsed : 0;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '-');
    std::fprintf(stderr, "\r[%s] %lld/%lld tiles  level %d: %lld/%lld  %s elapsed, %s left ", bar.c_str(),
                 static_cast<long long>(doneOverall), static_cast<long long>(totalOverall), static_cast<int>(level),
                 static_cast<long long>(doneAtLevel), static_cast<long long>(totalAtLevel), Clock(elapsed).c_str(),
                 Clock(remaining).c_str());
    std::fflush(stderr);
    m_barOpen = true;
}

bool TerminalProgress::CancelRequested() { return m_interrupt.Interrupted(); }

void TerminalProgress::PauseBeforeBuild()
{
    Finish();
    std::cerr << msg::kPauseText << "\n(press Enter to continue)" << std::flush;
    std::string line;
    std::getline(std::cin, line);
}

void TerminalProgress::Finish()
{
    if (m_barOpen) {
        std::cerr << "\n";
        m_barOpen = false;
    }
}

} // namespace orvane::cli
