#pragma once

// What a long conversion tells its caller, and how the caller stops it.
// The desktop program implements it with its progress page and Cancel
// button, the command-line tool with a terminal progress bar and Ctrl-C.
// Every call comes from the thread that runs MakeMap.

#include <cstdint>
#include <string_view>

namespace orvane::conversion {

class ConversionProgress {
public:
    virtual ~ConversionProgress() = default;

    /// Status-bar text (the source file's name).
    virtual void Status(std::string_view /*text*/) {}
    /// Caption shown beside "Used datum:".
    virtual void Datum(std::string_view /*caption*/) {}
    /// The progress label: "---/---", "i/total/L" or "Map final build...".
    virtual void Label(std::string_view /*text*/) {}
    /// A tile was cut: done of total at this level, and of the whole run.
    virtual void TileCut(std::int64_t /*doneAtLevel*/, std::int64_t /*totalAtLevel*/, std::int32_t /*level*/,
                         std::int64_t /*doneOverall*/, std::int64_t /*totalOverall*/)
    {
    }
    /// Asked before every tile; true stops the run silently.
    virtual bool CancelRequested() { return false; }
    /// "Pause at build": returns when the user is done editing the
    /// temporary tiles.
    virtual void PauseBeforeBuild() {}
};

} // namespace orvane::conversion
