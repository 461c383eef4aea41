#pragma once

// A small HTTP GET client behind an interface of our own, so that callers
// (tile downloads, the update check, the position service) can be tested
// with a fake and run with libcurl in production.
//
// Life of one request: the caller fills an HttpRequest (URL, the exact
// headers, a proxy snapshot, time-outs) and calls Get, which blocks until
// the whole body has arrived or the transfer failed. Get never throws for
// network or HTTP failures: they come back as values in HttpResponse.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

/// One request header, sent as "name: value".
struct HttpHeader {
    std::string name;
    std::string value;
};

/// Proxy values as one snapshot; an empty server means a direct connection
/// (proxy variables of the environment are not consulted either).
struct HttpProxy {
    std::string server;
    std::int32_t port = 0;     // 0 or less: the client's default proxy port
    std::string user;          // empty: no proxy authentication
    std::string password;
};

struct HttpRequest {
    std::string url;
    /// Sent exactly as given and in this order. Apart from Host (and the
    /// Cookie and Proxy-Authorization headers the client manages) nothing
    /// else goes out: no default Accept, User-Agent or Accept-Encoding.
    std::vector<HttpHeader> headers;
    HttpProxy proxy;
    std::chrono::milliseconds connectTimeout{15000};
    /// Limit for the whole transfer, connection included.
    std::chrono::milliseconds totalTimeout{60000};
};

struct HttpResponse {
    /// Status of the final response (after redirects); 0 when none came.
    int status = 0;
    /// Its status line without the line end, e.g. "HTTP/1.1 404 Not Found".
    std::string statusLine;
    std::string body;
    /// The client's text for a failure below HTTP (no connection, time-out,
    /// broken transfer); empty when the transfer completed.
    std::string errorText;

    /// The transfer completed with a 2xx status.
    bool Succeeded() const { return errorText.empty() && status >= 200 && status < 300; }
    /// Why it did not succeed: the transport failure text, else the status
    /// line. Empty for a success.
    std::string FailureText() const;
};

/// Blocking HTTP GET. One object serves one thread at a time; objects are
/// independent, so each thread may own its own. Redirects are followed.
/// The cookies a server sets are kept by the object and sent back with its
/// later requests.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse Get(const HttpRequest& request) = 0;
};

using HttpClientFactory = std::function<std::unique_ptr<HttpClient>()>;

/// The libcurl implementation. Safe to call from any thread.
std::unique_ptr<HttpClient> MakeCurlHttpClient();

/// `text` with every byte except A-Z a-z 0-9 - . _ ~ written as %XX
/// (upper-case hex), for a query value.
std::string PercentEncode(std::string_view text);

} // namespace orvane
