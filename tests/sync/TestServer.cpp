#include "TestServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace glimra::test {

TestServer::TestServer(const std::string& certificate, const std::string& key)
{
    if (certificate.empty()) {
        m_server = std::make_unique<httplib::Server>();
    } else {
        m_tls = true;
        m_server = std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str());
    }
    m_server->set_keep_alive_timeout(1);
    m_server->set_payload_max_length(64 * 1024 * 1024);

    const auto serve = [this](const httplib::Request& in, httplib::Response& out,
                              const httplib::ContentReader* reader) {
        Request request;
        request.method = in.method;
        request.target = in.target;
        request.path = in.path;
        request.contentType = in.get_header_value("Content-Type");
        if (in.has_header("Content-Length"))
            request.contentLength = std::stoll(in.get_header_value("Content-Length"));
        request.hasCookie = in.has_header("Cookie");
        request.hasAuthorization = in.has_header("Authorization");
        if (reader && in.is_multipart_form_data()) {
            (*reader)(
                [&](const httplib::MultipartFormData& part) {
                    request.parts.push_back({part.name, part.filename, part.content_type, {}});
                    return true;
                },
                [&](const char* data, size_t size) {
                    request.parts.back().content.append(data, size);
                    return true;
                });
        } else if (reader) {
            (*reader)([&](const char* data, size_t size) {
                request.body.append(data, size);
                return true;
            });
        }
        const Reply reply = respond(request);
        if (reply.delay.count() > 0)
            std::this_thread::sleep_for(reply.delay);
        out.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            out.set_header(name, value);
        if (reply.chunkRepeats > 0) {
            out.set_chunked_content_provider(reply.contentType,
                                             [body = reply.body, left = reply.chunkRepeats](
                                                 size_t, httplib::DataSink& sink) mutable {
                                                 if (left-- > 0)
                                                     return sink.write(body.data(), body.size());
                                                 sink.done();
                                                 return true;
                                             });
        } else if (reply.announcedLength >= 0) {
            out.set_content_provider(
                static_cast<size_t>(reply.announcedLength), reply.contentType,
                [body = reply.body](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset < body.size())
                        return sink.write(body.data() + offset, body.size() - offset);
                    return false; // the rest never comes
                });
        } else {
            out.set_content(reply.body, reply.contentType);
        }
    };
    m_server->Post(".*",
                   [serve](const httplib::Request& in, httplib::Response& out,
                           const httplib::ContentReader& reader) { serve(in, out, &reader); });
    m_server->Get(".*", [serve](const httplib::Request& in, httplib::Response& out) {
        serve(in, out, nullptr);
    });

    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

TestServer::~TestServer()
{
    stop();
}

void TestServer::stop()
{
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

QString TestServer::origin() const
{
    return (m_tls ? QStringLiteral("https://127.0.0.1:") : QStringLiteral("http://127.0.0.1:")) +
           QString::number(m_port);
}

void TestServer::setResponder(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void TestServer::reply(Reply reply)
{
    setResponder([reply](const Request&) { return reply; });
}

void TestServer::replyJson(const std::string& json, int status)
{
    reply(Reply::with(status, json));
}

TestServer::Reply TestServer::respond(const Request& request)
{
    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        responder = m_responder;
    }
    if (!responder)
        return Reply::with(500, "no responder", "text/plain");
    return responder(request);
}

std::vector<TestServer::Request> TestServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t TestServer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

TestServer::Request TestServer::lastRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.empty() ? Request{} : m_requests.back();
}

int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace glimra::test
