#include "support/HttpTestServer.hpp"

#include <httplib.h>

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace orvane::test {

namespace {

// Requests for this path only prove that the accept loop runs; they are
// neither answered by handlers nor recorded.
constexpr const char* kReadyPath = "/.test-server-ready";

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

} // namespace

std::string RecordedRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (EqualsNoCase(key, name)) return value;
    return {};
}

bool RecordedRequest::HasHeader(std::string_view name) const
{
    for (const auto& header : headers)
        if (EqualsNoCase(header.first, name)) return true;
    return false;
}

struct HttpTestServer::Impl {
    httplib::Server server;
    int port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    std::map<std::string, RequestHandler> handlers;
    RequestHandler fallback;
    std::vector<RecordedRequest> requests;

    httplib::Server::HandlerResponse Handle(const httplib::Request& req, httplib::Response& res)
    {
        if (req.path == kReadyPath) {
            res.status = 204;
            return httplib::Server::HandlerResponse::Handled;
        }
        RecordedRequest recorded;
        recorded.method = req.method;
        recorded.target = req.target;
        recorded.path = req.path;
        for (const auto& [key, value] : req.headers) {
            // The server library files the peer's addresses as headers.
            if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" || key == "LOCAL_PORT") continue;
            recorded.headers.emplace_back(key, value);
        }

        RequestHandler handler;
        {
            std::lock_guard lock(mutex);
            requests.push_back(recorded);
            if (const auto it = handlers.find(req.path); it != handlers.end()) handler = it->second;
            else handler = fallback;
        }
        const CannedResponse answer = handler ? handler(recorded) : CannedResponse{404, "not found", {}, "text/plain"};
        res.status = answer.status;
        for (const auto& [key, value] : answer.headers) res.set_header(key, value);
        res.set_content(answer.body, answer.contentType);
        return httplib::Server::HandlerResponse::Handled;
    }
};

HttpTestServer::HttpTestServer()
    : m_impl(std::make_unique<Impl>())
{
    Impl& impl = *m_impl;
    impl.server.set_keep_alive_timeout(1);
    impl.server.set_pre_routing_handler(
        [&impl](const httplib::Request& req, httplib::Response& res) { return impl.Handle(req, res); });
    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0) throw std::runtime_error("test server: cannot bind 127.0.0.1");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });

    // The server's stop() is ignored until its accept loop has started, so
    // wait for the loop to answer once before handing the server out.
    httplib::Client probe("127.0.0.1", impl.port);
    probe.set_connection_timeout(10);
    probe.set_read_timeout(10);
    const auto answer = probe.Get(kReadyPath);
    if (!answer || answer->status != 204) {
        impl.server.stop();
        impl.thread.join();
        throw std::runtime_error("test server: no answer on 127.0.0.1");
    }
}

HttpTestServer::~HttpTestServer()
{
    m_impl->server.stop();
    if (m_impl->thread.joinable()) m_impl->thread.join();
}

int HttpTestServer::Port() const { return m_impl->port; }

std::string HttpTestServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_impl->port); }

void HttpTestServer::Set(std::string path, CannedResponse response)
{
    Set(std::move(path), RequestHandler([response](const RecordedRequest&) { return response; }));
}

void HttpTestServer::Set(std::string path, RequestHandler handler)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->handlers[std::move(path)] = std::move(handler);
}

void HttpTestServer::SetFallback(RequestHandler handler)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->fallback = std::move(handler);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

std::size_t HttpTestServer::RequestCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests.size();
}

RefusingPort::RefusingPort()
{
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_socket < 0) throw std::runtime_error("refusing port: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_socket);
        throw std::runtime_error("refusing port: cannot bind 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() { ::close(m_socket); }

std::string RefusingPort::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

} // namespace orvane::test
