#include "shell/UpdateCheck.hpp"

#include "util/NumberText.hpp"

#include <chrono>

namespace orvane::shell {

namespace {

constexpr std::chrono::milliseconds kConnectTimeout{15000};
constexpr std::chrono::milliseconds kTotalTimeout{60000};

std::string_view WithoutFinalSlash(std::string_view site)
{
    while (!site.empty() && site.back() == '/') site.remove_suffix(1);
    return site;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

} // namespace

std::string VersionFileUrl(std::string_view site)
{
    return std::string(WithoutFinalSlash(site)) + "/qve.txt";
}

std::string DownloadPageUrl(std::string_view site)
{
    return std::string(WithoutFinalSlash(site)) + "/site/download.php?list.4";
}

HttpRequest VersionFileRequest(std::string_view site, const HttpProxy& proxy)
{
    HttpRequest request;
    request.url = VersionFileUrl(site);
    request.headers = {
        {"User-Agent", "Mozilla/5.0 (Windows; U; Windows NT 5.1; ru; rv:1.8.1.2) Gecko/20070219 Firefox/2.0.0.2"},
        {"Accept-Charset", "windows-1251,utf-8;q=0.7,*;q=0.7"},
        {"Accept", "text/html, image/png, */*"},
    };
    request.proxy = proxy;
    request.connectTimeout = kConnectTimeout;
    request.totalTimeout = kTotalTimeout;
    return request;
}

std::string_view LatestBuildText(std::string_view versionFile)
{
    std::string_view line = versionFile.substr(0, versionFile.find_first_of("\r\n"));
    while (!line.empty() && IsBlankOrControl(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlankOrControl(line.back())) line.remove_suffix(1);
    return line;
}

UpdateAnswer CompareBuilds(std::string_view latestBuildText, std::optional<std::int32_t> runningBuild)
{
    if (latestBuildText.empty()) return UpdateAnswer::Nothing;
    const auto latest = ParseInt32(latestBuildText);
    if (!latest || !runningBuild) return UpdateAnswer::Nothing;
    return *runningBuild < *latest ? UpdateAnswer::OfferDownload : UpdateAnswer::Nothing;
}

UpdateCheckResult RunUpdateCheck(HttpClient& client, std::string_view site, const HttpProxy& proxy,
                                 std::optional<std::int32_t> runningBuild) noexcept
{
    UpdateCheckResult result;
    try {
        const HttpResponse response = client.Get(VersionFileRequest(site, proxy));
        if (!response.Succeeded()) return result;
        result.bytesReceived = response.body.size();
        result.answer = CompareBuilds(LatestBuildText(response.body), runningBuild);
    } catch (...) {
        result.answer = UpdateAnswer::Nothing;
    }
    return result;
}

} // namespace orvane::shell
