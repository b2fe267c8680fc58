#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace glimra::test {

// A real HTTP(S) server on 127.0.0.1 that records exactly what arrived and answers with
// whatever the test asks for. It runs on its own threads; every accessor is thread-safe.
class TestServer {
public:
    struct Part {
        std::string name;
        std::string filename;
        std::string contentType;
        std::string content;
    };

    struct Request {
        std::string method;
        std::string target; // path and raw query, as sent
        std::string path;
        std::string contentType;
        long long contentLength = -1;
        bool hasCookie = false;
        bool hasAuthorization = false;
        std::string body;        // everything but a multipart form
        std::vector<Part> parts; // a multipart form, in the order sent
    };

    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::chrono::milliseconds delay{0};
        std::vector<std::pair<std::string, std::string>> headers;
        // Sent with this Content-Length header, however many bytes the body really has.
        long long announcedLength = -1;
        // Sent in chunks without a length, repeated this many times.
        int chunkRepeats = 0;

        static Reply with(int status, std::string body,
                          std::string contentType = "application/json")
        {
            Reply reply;
            reply.status = status;
            reply.body = std::move(body);
            reply.contentType = std::move(contentType);
            return reply;
        }
    };

    using Responder = std::function<Reply(const Request&)>;

    // certificate and key paths switch the server to TLS.
    explicit TestServer(const std::string& certificate = {}, const std::string& key = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" (or https).
    QString origin() const;

    void setResponder(Responder responder);
    // Answers every request with the same reply.
    void reply(Reply reply);
    void replyJson(const std::string& json, int status = 200);

    std::vector<Request> requests() const;
    std::size_t requestCount() const;
    Request lastRequest() const;

    // Stops listening; later connections are refused.
    void stop();

private:
    Reply respond(const Request& request);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
    bool m_tls = false;
    mutable std::mutex m_mutex;
    Responder m_responder;
    std::vector<Request> m_requests;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort();

} // namespace glimra::test
