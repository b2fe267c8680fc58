#include "TestServer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace glimra::test {

TestServer::TestServer(const char* certificate, const char* key)
    : m_server(certificate ? std::make_unique<httplib::SSLServer>(certificate, key)
                           : std::make_unique<httplib::Server>())
{
    m_server->set_keep_alive_timeout(1);
    const auto serve = [this](const httplib::Request& in, httplib::Response& out,
                              const httplib::ContentReader* reader) {
        Received r{in.method,
                   in.target,
                   in.get_header_value("Content-Type"),
                   -1,
                   in.has_header("Cookie") || in.has_header("Authorization"),
                   {},
                   {}};
        if (in.has_header("Content-Length"))
            r.contentLength = std::stoll(in.get_header_value("Content-Length"));
        if (reader && in.is_multipart_form_data()) {
            const auto header = [&](const httplib::MultipartFormData& part) {
                r.parts.push_back(part);
                return true;
            };
            (*reader)(header, [&](const char* data, size_t size) {
                r.parts.back().content.append(data, size);
                return true;
            });
        } else if (reader) {
            (*reader)([&](const char* data, size_t size) {
                r.body.append(data, size);
                return true;
            });
        }
        Responder responder;
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(r);
            responder = m_responder;
        }
        if (responder)
            responder(r, out);
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
    m_server->stop();
    m_thread.join();
}

QString TestServer::origin() const
{
    const bool tls = dynamic_cast<httplib::SSLServer*>(m_server.get()) != nullptr;
    return QString::fromLatin1(tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
           QString::number(m_port);
}

void TestServer::respond(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void TestServer::json(const std::string& body, int status)
{
    respond([body, status](const Received&, httplib::Response& out) {
        out.status = status;
        out.set_content(body, "application/json");
    });
}

std::vector<Received> TestServer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace glimra::test
