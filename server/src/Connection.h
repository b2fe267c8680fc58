// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state the listener shares with its connections. Internal to the HTTP front.

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace glimra::server {

class Service;
struct ServerOptions;

struct ServerState {
    ServerState(Service& s, const ServerOptions& o, boost::asio::thread_pool& w)
        : service(s), options(o), workers(w)
    {}

    Service& service;
    const ServerOptions& options;
    boost::asio::thread_pool& workers;
    std::FILE* accessLog = nullptr;
    std::atomic<bool> stopping{false};
    // Connections between the end of a request's header and the end of its answer.
    std::atomic<int> busy{0};

    // Counts a new connection in, unless it would pass a limit: the one per address only when
    // capped.
    bool admit(const std::string& address, bool capped);
    void release(const std::string& address);
    // One line of the access log. The path only: a download's query carries the token.
    void log(const std::string& address, std::string_view method, std::string_view path, int status,
             std::uint64_t bytes, std::chrono::steady_clock::time_point started);

private:
    std::mutex m_mutex;
    int m_connections = 0;
    std::unordered_map<std::string, int> m_perAddress;
};

// Serves one accepted connection until it closes, times out or the server stops.
boost::asio::awaitable<void> serveConnection(ServerState& state,
                                             boost::asio::ip::tcp::socket socket,
                                             std::string address, boost::asio::ssl::context* tls);

} // namespace glimra::server
