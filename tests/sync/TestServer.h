#pragma once

#include <httplib.h>

#include <QString>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace glimra::test {

// What reached the server, byte for byte where it matters.
struct Received {
    std::string method;
    std::string target; // path and raw query
    std::string contentType;
    long long contentLength = -1;
    bool cookieOrAuthorization = false;
    std::string body;                              // all but a multipart form
    std::vector<httplib::MultipartFormData> parts; // a multipart form, in the order sent
};

// A real HTTP(S) server on 127.0.0.1, run on its own threads, that records every request
// and lets the test write each reply.
class TestServer {
public:
    using Responder = std::function<void(const Received&, httplib::Response&)>;

    // A certificate and key switch it to TLS.
    explicit TestServer(const char* certificate = nullptr, const char* key = nullptr);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    QString origin() const;
    void respond(Responder responder);
    void json(const std::string& body, int status = 200);
    std::vector<Received> received() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
    mutable std::mutex m_mutex;
    Responder m_responder;
    std::vector<Received> m_received;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort();

} // namespace glimra::test
