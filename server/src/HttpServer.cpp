// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpServer.h"

#include "Connection.h"
#include "Options.h"
#include "Service.h"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <openssl/ssl.h>
#include <signal.h>

#include <ctime>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace glimra::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);
// Network work only; the handlers' blocking work runs on the worker pool.
constexpr int kNetworkThreads = 2;

// Method and path come from the client: nothing in them may forge a log line.
std::string printable(std::string_view text)
{
    std::string out(text.substr(0, 200));
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '"')
            c = '?';
    }
    return out;
}

} // namespace

bool ServerState::admit(const std::string& address, bool capped)
{
    std::lock_guard lock(m_mutex);
    int& mine = m_perAddress[address];
    if (m_connections >= options.maxConnections ||
        (capped && mine >= options.maxConnectionsPerAddress)) {
        if (mine == 0)
            m_perAddress.erase(address);
        return false;
    }
    ++m_connections;
    ++mine;
    return true;
}

void ServerState::release(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    --m_connections;
    if (--m_perAddress[address] <= 0)
        m_perAddress.erase(address);
}

void ServerState::log(const std::string& address, std::string_view method, std::string_view path,
                      int status, std::uint64_t bytes,
                      std::chrono::steady_clock::time_point started)
{
    if (!accessLog)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::fprintf(accessLog, "%s %s \"%s %s\" %d %llu %lldms\n", when, address.c_str(),
                 printable(method).c_str(), printable(path).c_str(), status,
                 static_cast<unsigned long long>(bytes), static_cast<long long>(ms));
    std::fflush(accessLog);
}

struct HttpServer::Loop {
    std::optional<asio::ssl::context> tls;
    asio::io_context io{kNetworkThreads};
    // The listener, the signals and the drain share one strand; connections have their own.
    asio::strand<asio::io_context::executor_type> control = asio::make_strand(io);
    asio::signal_set signals{control, SIGTERM, SIGINT};
    tcp::acceptor acceptor{control};
    asio::steady_timer drain{control};
};

HttpServer::HttpServer(const ServerOptions& options)
    : m_options(options), m_loop(std::make_unique<Loop>())
{
    // main() blocks these until they can be taken here, so none is lost in between; one that
    // arrives before run() waits in the signal set.
    sigset_t taken;
    sigemptyset(&taken);
    sigaddset(&taken, SIGTERM);
    sigaddset(&taken, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
}

HttpServer::~HttpServer() = default;

int HttpServer::listen()
{
    if (!m_options.tlsCert.empty()) {
        auto& tls = m_loop->tls.emplace(asio::ssl::context::tls_server);
        tls.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                        asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                        asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
        SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_2_VERSION);
        boost::system::error_code ec;
        tls.use_certificate_chain_file(m_options.tlsCert, ec);
        if (!ec)
            tls.use_private_key_file(m_options.tlsKey, asio::ssl::context::pem, ec);
        if (ec)
            throw std::runtime_error("cannot use the TLS certificate or key");
    }
    const std::string where = m_options.host + ':' + std::to_string(m_options.port);
    boost::system::error_code ec;
    tcp::resolver resolver(m_loop->io);
    const auto endpoints = resolver.resolve(m_options.host, std::to_string(m_options.port),
                                            tcp::resolver::passive, ec);
    if (ec || endpoints.empty())
        throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
    const tcp::endpoint endpoint = endpoints.begin()->endpoint();
    auto& acceptor = m_loop->acceptor;
    // Address reuse lets a restart bind at once; port reuse is never asked for, so a port
    // that another process listens on is an error.
    acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
    return acceptor.local_endpoint().port();
}

void HttpServer::run(Service& service)
{
    Loop& loop = *m_loop;
    asio::thread_pool workers(static_cast<std::size_t>(m_options.threads));
    ServerState state(service, m_options, workers);
    if (m_options.accessLog == "-")
        state.accessLog = stderr;
    else if (!m_options.accessLog.empty())
        state.accessLog = std::fopen(m_options.accessLog.c_str(), "ae");

    // Stops accepting at once, then waits for the requests in progress, up to the deadline.
    const auto stop = [&loop, &state, this]() -> asio::awaitable<void> {
        state.stopping = true;
        boost::system::error_code ignored;
        loop.acceptor.close(ignored);
        const auto deadline = std::chrono::steady_clock::now() + m_options.drainTimeout;
        while (state.busy > 0 && std::chrono::steady_clock::now() < deadline) {
            loop.drain.expires_after(std::chrono::milliseconds(50));
            co_await loop.drain.async_wait(kTuple);
        }
        loop.io.stop();
    };
    loop.signals.async_wait([&](const auto& ec, int) {
        if (!ec)
            asio::co_spawn(loop.control, stop, asio::detached);
    });
    const auto accept = [&]() -> asio::awaitable<void> {
        asio::steady_timer pause(loop.control);
        tcp::acceptor& acceptor = loop.acceptor;
        while (acceptor.is_open()) {
            auto [ec, socket] = co_await acceptor.async_accept(asio::make_strand(loop.io), kTuple);
            if (ec == asio::error::operation_aborted || !acceptor.is_open())
                break;
            if (ec) {
                // Out of descriptors, most likely: give the open connections time to end.
                pause.expires_after(std::chrono::milliseconds(100));
                co_await pause.async_wait(kTuple);
                continue;
            }
            boost::system::error_code peerError;
            const std::string address = socket.remote_endpoint(peerError).address().to_string();
            if (peerError ||
                !state.admit(addressKey(address), !m_options.trustedProxies.contains(address)))
                continue; // the socket closes as it goes out of scope
            auto executor = socket.get_executor();
            asio::co_spawn(
                executor,
                serveConnection(state, std::move(socket), address, loop.tls ? &*loop.tls : nullptr),
                asio::detached);
        }
    };
    asio::co_spawn(loop.control, accept, asio::detached);

    std::vector<std::thread> network;
    for (int i = 1; i < kNetworkThreads; ++i)
        network.emplace_back([&loop] { loop.io.run(); });
    loop.io.run();
    for (auto& t : network)
        t.join();
    // Handlers still running finish their work on the store before it goes away; the
    // connections they belonged to are dropped with the loop.
    workers.join();
    m_loop.reset();
    if (state.accessLog && state.accessLog != stderr)
        std::fclose(state.accessLog);
}

} // namespace glimra::server
