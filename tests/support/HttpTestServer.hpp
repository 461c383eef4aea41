#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::test {

/// One request as the server received it.
struct RecordedRequest {
    std::string method;
    /// The request target as sent: path and query ("/a/b?x=1"), or the
    /// absolute URL when the client talked to us as to a proxy.
    std::string target;
    /// The target without its query, decoded.
    std::string path;
    /// Header names as sent; sorted by name, not in the order sent.
    std::vector<std::pair<std::string, std::string>> headers;

    /// Value of the first header of that name (case-insensitive); empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

struct CannedResponse {
    using Headers = std::vector<std::pair<std::string, std::string>>;

    CannedResponse() = default;
    CannedResponse(int status_, std::string body_, Headers headers_ = {}, std::string contentType_ = "text/plain")
        : status(status_), body(std::move(body_)), headers(std::move(headers_)), contentType(std::move(contentType_))
    {
    }

    int status = 200;
    std::string body;
    Headers headers;
    std::string contentType = "text/plain";
};

using RequestHandler = std::function<CannedResponse(const RecordedRequest&)>;

/// A loopback HTTP server for tests: it listens on 127.0.0.1 at a free port
/// from construction to destruction, answers each path with what the test
/// registered (404 for anything else) and records every request. Handlers
/// run on the server's threads. A request for an absolute URL (the way a
/// client talks to a proxy) is matched by that URL, so the server also
/// stands in for a proxy.
class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const;
    /// "http://127.0.0.1:<port>", without a final slash.
    std::string BaseUrl() const;

    /// Answers requests whose path (without query) is `path`.
    void Set(std::string path, CannedResponse response);
    void Set(std::string path, RequestHandler handler);
    /// Answers every path no Set registered (instead of 404).
    void SetFallback(RequestHandler handler);

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// A TCP port on 127.0.0.1 that refuses connections while the object lives
/// (a socket bound to it that never listens).
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int Port() const { return m_port; }
    std::string BaseUrl() const;

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace orvane::test
