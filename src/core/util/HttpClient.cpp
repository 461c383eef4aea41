#include "util/HttpClient.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace orvane {

namespace {

void GlobalInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::runtime_error("curl_global_init failed");
    });
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void Append(Slist& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) throw std::bad_alloc();
    (void)list.release();
    list.reset(grown);
}

/// The header list for curl: the given headers in order, and removal lines
/// for the defaults curl would add on its own.
Slist BuildHeaderList(const std::vector<HttpHeader>& headers)
{
    Slist list;
    bool hasAccept = false;
    for (const auto& h : headers) {
        // "Name;" is curl's way to send a header with an empty value.
        Append(list, h.value.empty() ? h.name + ";" : h.name + ": " + h.value);
        if (EqualsNoCase(h.name, "Accept")) hasAccept = true;
    }
    if (!hasAccept) Append(list, "Accept:");
    return list;
}

struct Transfer {
    HttpResponse* response = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    t->response->body.append(data, size * count);
    return size * count;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    // Every response of a redirect chain starts with its status line; the
    // last one is the one that counts.
    if (line.starts_with("HTTP/")) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        t->response->statusLine.assign(line);
    }
    return size * count;
}

class CurlHttpClient final : public HttpClient {
public:
    CurlHttpClient()
    {
        GlobalInitOnce();
        m_curl = curl_easy_init();
        if (m_curl == nullptr) throw std::runtime_error("curl_easy_init failed");
        // Cookies the servers set are kept in memory for the handle's life.
        curl_easy_setopt(m_curl, CURLOPT_COOKIEFILE, "");
    }
    ~CurlHttpClient() override { curl_easy_cleanup(m_curl); }
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    HttpResponse Get(const HttpRequest& request) override
    {
        HttpResponse response;
        Transfer transfer{&response};
        char errorBuffer[CURL_ERROR_SIZE] = {};
        const Slist headers = BuildHeaderList(request.headers);

        // Every option is set on every request, so nothing of the previous
        // request's carries over; the connection cache and the cookies
        // received so far do. (No curl_easy_reset: libcurl 7.88 loses the
        // cookie engine's file list on a reset without freeing it.)
        CURL* c = m_curl;
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);

        // An empty proxy string switches proxies off, also those named by
        // the environment.
        const HttpProxy& proxy = request.proxy;
        const bool proxyAuth = !proxy.server.empty() && !proxy.user.empty();
        curl_easy_setopt(c, CURLOPT_PROXY, proxy.server.c_str());
        curl_easy_setopt(c, CURLOPT_PROXYPORT, static_cast<long>(proxy.port > 0 ? proxy.port : 0));
        curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxyAuth ? proxy.user.c_str() : nullptr);
        curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxyAuth ? proxy.password.c_str() : nullptr);
        curl_easy_setopt(c, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));

        const CURLcode rc = curl_easy_perform(c);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        response.status = static_cast<int>(status);
        if (rc != CURLE_OK) {
            response.errorText = errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(rc);
            while (!response.errorText.empty() && response.errorText.back() == '\n') response.errorText.pop_back();
        }
        // Leave no pointers into this frame behind in the handle.
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
        return response;
    }

private:
    CURL* m_curl = nullptr;
};

} // namespace

std::string HttpResponse::FailureText() const
{
    if (!errorText.empty()) return errorText;
    if (Succeeded()) return {};
    return statusLine;
}

std::unique_ptr<HttpClient> MakeCurlHttpClient()
{
    return std::make_unique<CurlHttpClient>();
}

std::string PercentEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        const bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                                u == '-' || u == '.' || u == '_' || u == '~';
        if (unreserved) {
            out += ch;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        }
    }
    return out;
}

} // namespace orvane
