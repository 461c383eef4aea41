#pragma once

// The network half of the position-sharing client: the password digest,
// the secret check, the poll request and one poll as a call that blocks
// only its own thread. The poll timer, the tab and the user list belong to
// the GUI: it runs FetchVistrelUsers on a worker, then on its own thread
// folds the result into the list with MergeVistrelUsers and colours the
// update label by State().
//
// Texts (login, password, names) are UTF-8; digests are taken over their
// bytes in the system's code page (see CodePage.hpp).

#include "util/HttpClient.hpp"
#include "vistrel/VistrelUsers.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::vistrel {

/// The service's address below the maker's web server `site`
/// ("http://host"; a final slash is ignored): site + "/site/".
std::string VistrelBaseAddress(std::string_view site);

/// The digest sent as "ps": MD5 hex of login + " K7 " + MD5 hex of the
/// password + " QM".
std::string VistrelPasswordDigest(std::string_view login, std::string_view password);

/// The local secret check: the first four characters of MD5 hex of login
/// followed by MD5 hex of the password equal `secret` exactly (case
/// included). True draws the "Secret" label green, false red.
bool VistrelSecretMatches(std::string_view login, std::string_view password, std::string_view secret);

/// baseAddress + "vl_qve.php?v=1&lg=" + login + "&ps=" + digest, the login
/// percent-encoded from its code-page bytes.
std::string VistrelRequestUrl(std::string_view baseAddress, std::string_view login, std::string_view password);

/// The whole poll request: URL, the client's fixed headers, no proxy.
HttpRequest VistrelRequest(std::string_view baseAddress, std::string_view login, std::string_view password);

/// The colour of the update label after a poll.
enum class VistrelPollState {
    Updated,  // green: at least one line accepted
    NoUsers,  // yellow: answered, but no line accepted
    Failed,   // red: the request failed; errorText is the label's hint
};

struct VistrelPollResult {
    bool failed = false;
    std::string errorText;
    /// The users of the accepted lines, in the order received.
    std::vector<TVistrelUser> users;

    std::size_t Accepted() const { return users.size(); }
    VistrelPollState State() const
    {
        if (failed) return VistrelPollState::Failed;
        return users.empty() ? VistrelPollState::NoUsers : VistrelPollState::Updated;
    }
};

/// One poll: sends the request through `client`, waits for the answer and
/// parses it. Never throws; a failed request (no connection, an HTTP status
/// other than 2xx) gives Failed with the client's text. Uses nothing but
/// its arguments, so it may run on any thread while the caller keeps the
/// client to itself.
VistrelPollResult FetchVistrelUsers(HttpClient& client, std::string_view baseAddress, std::string_view login,
                                    std::string_view password);

} // namespace orvane::vistrel
