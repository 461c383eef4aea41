#pragma once

#include "conversion/ConversionProgress.hpp"

#include <atomic>
#include <chrono>
#include <csignal>

namespace orvane::cli {

/// Ctrl-C (SIGINT) while it lives: the first asks for Cancel, which the job
/// honours at its next check; a second ends the program at once (exit 130).
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted() const;

private:
    struct sigaction m_oldAction {};
};

/// Progress of a conversion on standard error: a bar with tiles done of
/// total, the level, elapsed and remaining time. Quiet when standard error
/// is not a terminal or when asked. Ctrl-C (SIGINT) asks for Cancel.
class TerminalProgress : public conversion::ConversionProgress {
public:
    explicit TerminalProgress(bool quiet);
    ~TerminalProgress() override;

    void Status(std::string_view text) override;
    void Datum(std::string_view caption) override;
    void Label(std::string_view text) override;
    void TileCut(std::int64_t doneAtLevel, std::int64_t totalAtLevel, std::int32_t level, std::int64_t doneOverall,
                 std::int64_t totalOverall) override;
    bool CancelRequested() override;
    void PauseBeforeBuild() override;

    /// Ends the bar's line.
    void Finish();

private:
    bool m_show;
    bool m_barOpen = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    InterruptWatch m_interrupt;
};

} // namespace orvane::cli
