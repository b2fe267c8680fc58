// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestServer.h"

namespace glimra::test {

TestServer::TestServer(const char* certificate, const char* key)
    : m_server(certificate ? std::make_unique<httplib::SSLServer>(certificate, key)
                           : std::make_unique<httplib::Server>()),
      m_port(m_server->bind_to_any_port("127.0.0.1")),
      m_origin(QString::fromLatin1(certificate ? "https" : "http") +
               QStringLiteral("://127.0.0.1:") + QString::number(m_port))
{
    m_server->set_keep_alive_timeout(1);
    const auto serve = [this](const httplib::Request& in, httplib::Response& out,
                              const httplib::ContentReader* reader) {
        Received r{in.method, in.target, in.get_header_value("Content-Type"), {}};
        r.cookieOrAuthorization = in.has_header("Cookie") || in.has_header("Authorization");
        // Without its type httplib hands a multipart form over as the bytes it came in.
        const_cast<httplib::Request&>(in).headers.erase("Content-Type");
        if (reader)
            (*reader)(
                [&](const char* data, size_t size) { return r.body.append(data, size), true; });
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
    m_server->Get(".*", [serve](const auto& in, auto& out) { serve(in, out, nullptr); });
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

TestServer::~TestServer()
{
    // A stop that comes before the listening starts would be lost.
    while (!m_server->is_running())
        std::this_thread::yield();
    m_server->stop();
    m_thread.join();
}

TestServer::Responder reply(int status, std::string body, std::string type,
                            std::chrono::milliseconds delay)
{
    return [=](const Received&, httplib::Response& out) {
        std::this_thread::sleep_for(delay);
        out.status = status;
        out.set_content(body, type);
    };
}

} // namespace glimra::test
