#include "vistrel/VistrelClient.hpp"

#include "vistrel/CodePage.hpp"
#include "vistrel/md5.hpp"

#include <chrono>
#include <exception>

namespace orvane::vistrel {

namespace {

// A poll must end well before the next one is due (every 40 s).
constexpr std::chrono::milliseconds kConnectTimeout{15000};
constexpr std::chrono::milliseconds kTotalTimeout{30000};

std::string InnerDigest(std::string_view password) { return Md5Hex(ToCodePage(password)); }

} // namespace

std::string VistrelBaseAddress(std::string_view site)
{
    while (!site.empty() && site.back() == '/') site.remove_suffix(1);
    return std::string(site) + "/site/";
}

std::string VistrelPasswordDigest(std::string_view login, std::string_view password)
{
    return Md5Hex(ToCodePage(login) + " K7 " + InnerDigest(password) + " QM");
}

bool VistrelSecretMatches(std::string_view login, std::string_view password, std::string_view secret)
{
    const std::string h = Md5Hex(ToCodePage(login) + InnerDigest(password));
    return std::string_view(h).substr(0, 4) == secret;
}

std::string VistrelRequestUrl(std::string_view baseAddress, std::string_view login, std::string_view password)
{
    return std::string(baseAddress) + "vl_qve.php?v=1&lg=" + PercentEncode(ToCodePage(login)) +
           "&ps=" + VistrelPasswordDigest(login, password);
}

HttpRequest VistrelRequest(std::string_view baseAddress, std::string_view login, std::string_view password)
{
    HttpRequest request;
    request.url = VistrelRequestUrl(baseAddress, login, password);
    request.headers = {
        {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"},
        {"Accept", "text/html, */*"},
        {"Content-Type", "text/html"},
    };
    request.connectTimeout = kConnectTimeout;
    request.totalTimeout = kTotalTimeout;
    return request;
}

VistrelPollResult FetchVistrelUsers(HttpClient& client, std::string_view baseAddress, std::string_view login,
                                    std::string_view password)
{
    VistrelPollResult result;
    try {
        const HttpResponse response = client.Get(VistrelRequest(baseAddress, login, password));
        if (!response.Succeeded()) {
            result.failed = true;
            result.errorText = response.FailureText();
            return result;
        }
        // The body is UTF-8; names keep only what the system's code page
        // can show.
        result.users = ParseVistrelResponse(FitToCodePage(response.body));
    } catch (const std::exception& e) {
        result = VistrelPollResult{};
        result.failed = true;
        result.errorText = e.what();
    }
    return result;
}

} // namespace orvane::vistrel
