// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

namespace glimra::server {

class Service;
struct ServerOptions;

// The HTTP(S) front: event-driven, so idle and slow connections cost a socket and a few
// kilobytes but no thread; handlers run on a pool of worker threads. Every phase of a
// connection has a deadline and a size limit (see ServerOptions).
class HttpServer {
public:
    // SIGTERM and SIGINT are taken from here on; one that arrives before run() stops it at once.
    explicit HttpServer(const ServerOptions& options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens; returns the port (port 0 picks a free one). Throws with a message.
    int listen();
    // Serves until a signal, lets the requests in progress finish within the drain timeout,
    // cuts the rest and returns.
    void run(Service& service);

private:
    struct Loop;
    const ServerOptions& m_options;
    std::unique_ptr<Loop> m_loop;
};

} // namespace glimra::server
