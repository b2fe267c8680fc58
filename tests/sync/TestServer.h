// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <QString>

// httplib.h brings the standard headers used here.

namespace glimra::test {

// What reached the server, byte for byte.
struct Received {
    std::string method;
    std::string target; // path and raw query
    std::string contentType;
    std::string body; // as sent, a multipart form included
    bool cookieOrAuthorization = false;
};

// A real HTTP(S) server on 127.0.0.1, run on its own threads, that records every request
// and lets the test write each reply.
class TestServer {
public:
    using Responder = std::function<void(const Received&, httplib::Response&)>;

    // A certificate and key switch it to TLS.
    explicit TestServer(const char* certificate = nullptr, const char* key = nullptr);
    ~TestServer();

    int port() const { return m_port; }
    QString origin() const { return m_origin; }
    // Answers every request from now on; before the first call each gets an empty 200.
    void respond(Responder r)
    {
        std::lock_guard lock(m_mutex);
        m_responder = std::move(r);
    }
    std::vector<Received> received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    std::unique_ptr<httplib::Server> m_server;
    int m_port;
    QString m_origin;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    Responder m_responder;
    std::vector<Received> m_received;
};

// Answers with this status, body and type, after an optional delay.
TestServer::Responder reply(int status, std::string body, std::string type = "application/json",
                            std::chrono::milliseconds delay = {});

// A port on 127.0.0.1 where nothing listens any more.
inline int closedPort()
{
    return TestServer().port();
}

} // namespace glimra::test
