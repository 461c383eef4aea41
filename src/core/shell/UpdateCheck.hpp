#pragma once

// The once-per-run check for a newer build.
//
// Life cycle: waiting (the GUI's 60 s timer ticks; UpdateCheckGate says no
// while no tile has been downloaded) -> checking (the gate said yes once;
// the GUI stops its timer and runs RunUpdateCheck on a worker) -> done for
// the rest of the run, whatever the outcome. The worker hands the answer to
// the GUI thread, which asks the user and opens DownloadPageUrl on Yes.

#include "util/HttpClient.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::shell {

/// The timer's rule: Tick returns true exactly once per run, at the first
/// tick that sees a downloaded tile; afterwards always false.
class UpdateCheckGate {
public:
    bool Tick(bool tileDownloaded)
    {
        if (m_started || !tileDownloaded) return false;
        m_started = true;
        return true;
    }
    bool Started() const { return m_started; }

private:
    bool m_started = false;
};

enum class UpdateAnswer {
    Nothing,        // no newer build, or the check failed
    OfferDownload,  // ask msg::kNewVersionAvailable, open the download page on Yes
};

/// site + "/qve.txt"; `site` is "http://host" (a final slash is ignored).
std::string VersionFileUrl(std::string_view site);
/// site + "/site/download.php?list.4".
std::string DownloadPageUrl(std::string_view site);

/// The request for the version file, with the check's fixed headers and the
/// proxy snapshot.
HttpRequest VersionFileRequest(std::string_view site, const HttpProxy& proxy);

/// Line 0 of the version file (lines end at CR, LF or CR LF) without
/// leading and trailing blanks and control characters.
std::string_view LatestBuildText(std::string_view versionFile);

/// OfferDownload when the text is a whole number greater than the running
/// build; Nothing for an empty or non-numeric text or an unknown running
/// build.
UpdateAnswer CompareBuilds(std::string_view latestBuildText, std::optional<std::int32_t> runningBuild);

struct UpdateCheckResult {
    UpdateAnswer answer = UpdateAnswer::Nothing;
    /// Size of the version file received, for the downloaded-bytes counter
    /// (0 when the request failed).
    std::size_t bytesReceived = 0;
};

/// The worker's job: fetch the version file through `client` and compare.
/// Every failure (no connection, an HTTP error, an unreadable answer) ends
/// in Nothing; it never throws.
UpdateCheckResult RunUpdateCheck(HttpClient& client, std::string_view site, const HttpProxy& proxy,
                                 std::optional<std::int32_t> runningBuild) noexcept;

} // namespace orvane::shell
