// SPDX-License-Identifier: GPL-3.0-or-later
#include "Connection.h"

#include "Multipart.h"
#include "Options.h"
#include "RequestHead.h"
#include "Service.h"
#include "Upload.h"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <unistd.h>

#include <chrono>
#include <vector>

namespace glimra::server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);
constexpr std::size_t kChunkBytes = 256 * 1024;
// Multipart framing and the text fields around the file.
constexpr std::uint64_t kFormOverhead = 64 * 1024;
// After a refused request: how much of the rest is read, so the client sees the answer
// instead of a reset connection.
constexpr std::size_t kLingerBytes = 256 * 1024;

using Parser = http::request_parser<http::buffer_body>;

// Runs `f` on a worker thread and resumes on the connection's own executor.
template <typename F> asio::awaitable<std::invoke_result_t<F&>> onWorker(ServerState& state, F f)
{
    using R = std::invoke_result_t<F&>;
    co_return co_await asio::co_spawn(
        state.workers, [&f]() -> asio::awaitable<R> { co_return f(); }, asio::use_awaitable);
}

template <class Stream> class Connection {
public:
    Connection(ServerState& state, Stream stream, std::string address)
        : m_state(state), m_stream(std::move(stream)), m_address(std::move(address)),
          m_buffer(state.options.maxHeaderBytes + 64 * 1024)
    {}

    asio::awaitable<void> run()
    {
        const ServerOptions& o = m_state.options;
        if constexpr (!std::is_same_v<Stream, beast::tcp_stream>) {
            lowest().expires_after(o.headerTimeout);
            const auto [ec] =
                co_await m_stream.async_handshake(asio::ssl::stream_base::server, kTuple);
            if (ec)
                co_return;
        }
        // GCC evaluates co_await in loop conditions unreliably: plain statements only.
        for (bool first = true;; first = false) {
            const bool more = co_await serveRequest(first);
            if (!more)
                break;
        }
        if constexpr (!std::is_same_v<Stream, beast::tcp_stream>) {
            lowest().expires_after(std::chrono::seconds(1));
            co_await m_stream.async_shutdown(kTuple);
        }
        beast::error_code ignored;
        lowest().socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    }

private:
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }

    // One request and its answer; false when the connection is to end.
    asio::awaitable<bool> serveRequest(bool first)
    {
        const ServerOptions& o = m_state.options;
        if (m_buffer.size() == 0) {
            // Idle between requests: no deadline of a request runs yet, only the idle one.
            lowest().expires_after(first ? o.headerTimeout : o.idleTimeout);
            const auto [ec, n] = co_await m_stream.async_read_some(m_buffer.prepare(1024), kTuple);
            if (ec || m_state.stopping)
                co_return false;
            m_buffer.commit(n);
        }
        const auto started = std::chrono::steady_clock::now();
        m_rawLeft.reset();
        Parser parser;
        parser.header_limit(static_cast<std::uint32_t>(o.maxHeaderBytes));
        parser.body_limit(boost::none);
        lowest().expires_after(o.headerTimeout);
        const auto [ec, n] = co_await http::async_read_header(m_stream, m_buffer, parser, kTuple);
        // A stop waits for requests whose header has arrived; one still arriving has not
        // started anything and is cut.
        if (m_state.stopping)
            co_return false;
        ++m_state.busy;
        struct Busy {
            ServerState& state;
            ~Busy() { --state.busy; }
        } busy{m_state};
        HttpRequest req;
        req.remoteAddress = m_address;
        HttpResponse res;
        const auto& msg = parser.get();
        if (ec == http::error::header_limit ||
            (!ec && std::distance(msg.begin(), msg.end()) > o.maxHeaderFields)) {
            // Nothing more is read from a client that sends too much header.
            res = failureResponse(431, "Request headers too large");
            co_await send(res, false, 11);
            log(req, res, started);
            co_return false;
        }
        if (ec) {
            if (ec.category() != http::make_error_code(http::error::bad_target).category())
                co_return false; // gone, reset or too slow: nobody to answer
            res = closing(failureResponse(400, "Invalid request"));
        } else {
            readRequestHead(msg, req);
            if (o.trustedProxies.contains(m_address))
                req.remoteAddress = o.trustedProxies.client(m_address, forwardedFor(msg));
            try {
                res = co_await answer(parser, req);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "glimra-server: %s %s: %s\n", req.method.c_str(),
                             req.path.substr(0, 200).c_str(), e.what());
                res = closing(failureResponse(500, "Internal server error"));
            }
            if (!bodyDone(parser))
                res.close = true;
        }
        const bool keepAlive = !ec && msg.keep_alive() && !res.close && !m_state.stopping;
        const bool sent = co_await send(res, keepAlive, ec ? 11 : msg.version());
        log(req, res, started);
        if (sent && res.close)
            co_await linger();
        if (m_buffer.capacity() > 4096 && m_buffer.size() == 0)
            m_buffer.shrink_to_fit();
        co_return (sent && keepAlive);
    }

    asio::awaitable<HttpResponse> answer(Parser& parser, HttpRequest& req)
    {
        const bool get = parser.get().method() == http::verb::get;
        if (req.path == "/healthz" && get)
            co_return co_await onWorker(m_state, [&] { return m_state.service.health(); });
        if (get && (req.path == kSyncPath || req.path.starts_with(kSharePrefix)))
            co_return co_await onWorker(m_state, [&] { return m_state.service.handle(req); });
        if (req.path != kAuthPath && req.path != kSyncPath)
            co_return closing(failureResponse(404, "Not found"));
        if (parser.get().method() != http::verb::post)
            co_return closing(failureResponse(405, "Method not allowed"));
        const bool form = req.contentType.size() >= 19 &&
                          beast::iequals(req.contentType.substr(0, 19), "multipart/form-data");
        if (form && req.path == kAuthPath)
            co_return closing(failureResponse(400, "Invalid request: expected a JSON body"));
        if (form) {
            const auto boundary = multipartBoundary(req.contentType);
            if (!boundary)
                co_return closing(
                    failureResponse(400, "Invalid request: malformed multipart form"));
            co_return co_await readUpload(parser, *boundary);
        }
        const bool read = co_await readJson(parser, req.body);
        if (!read)
            co_return closing(m_readFailure ? *m_readFailure
                                            : failureResponse(413, "Request too large"));
        co_return co_await onWorker(m_state, [&] { return m_state.service.handle(req); });
    }

    // A client that waits to be asked for its body is asked once its size has passed.
    asio::awaitable<void> proceed(Parser& parser)
    {
        if (!beast::iequals(parser.get()[http::field::expect], "100-continue"))
            co_return;
        http::response<http::empty_body> go{http::status::continue_, 11};
        lowest().expires_after(m_state.options.bodyTimeout);
        co_await http::async_write(m_stream, go, kTuple);
    }

    bool bodyDone(const Parser& parser) const
    {
        return m_rawLeft ? *m_rawLeft == 0 : parser.is_done();
    }

    // The next piece of the body into `chunk`; its size, or nothing when the body cannot be
    // read to the end (m_readFailure says what to answer, if anything). Measured by progress:
    // a slow upload that keeps moving is never cut.
    asio::awaitable<std::optional<std::size_t>> readSome(Parser& parser, std::vector<char>& chunk)
    {
        // A body of known length is read straight into the chunk, past the parser: one copy
        // less and larger reads, which is most of an upload's cost here.
        if (!m_rawLeft && !parser.chunked() && parser.content_length())
            m_rawLeft = *parser.content_length();
        auto& body = parser.get().body();
        body = {chunk.data(), chunk.size(), true};
        const std::size_t want = std::min<std::uint64_t>(chunk.size(), m_rawLeft.value_or(0));
        std::size_t n = asio::buffer_copy(asio::buffer(chunk.data(), want), m_buffer.data());
        m_buffer.consume(n);
        beast::error_code ec;
        lowest().expires_after(m_state.options.bodyTimeout);
        if (!m_rawLeft)
            std::tie(ec, n) = co_await http::async_read_some(m_stream, m_buffer, parser, kTuple);
        else if (n == 0)
            std::tie(ec, n) =
                co_await m_stream.async_read_some(asio::buffer(chunk.data(), want), kTuple);
        if (ec == http::error::need_buffer)
            ec = {};
        if (ec)
            m_readFailure = failureResponse(ec == http::error::body_limit ? 413
                                            : ec == beast::error::timeout ? 408
                                                                          : 400,
                                            ec == http::error::body_limit ? "Request too large"
                                            : ec == beast::error::timeout ? "Request timed out"
                                                                          : "Invalid request");
        if (ec)
            co_return std::nullopt;
        if (!m_rawLeft)
            co_return chunk.size() - body.size;
        *m_rawLeft -= n;
        co_return n;
    }

    asio::awaitable<bool> readJson(Parser& parser, std::string& out)
    {
        if (const auto length = parser.content_length(); length && *length > kMaxJsonBytes)
            co_return false;
        parser.body_limit(kMaxJsonBytes);
        co_await proceed(parser);
        std::vector<char> chunk(kMaxJsonBytes / 4);
        while (!bodyDone(parser)) {
            const auto n = co_await readSome(parser, chunk);
            if (!n)
                co_return false;
            out.append(chunk.data(), *n);
        }
        co_return true;
    }

    asio::awaitable<HttpResponse> readUpload(Parser& parser, const std::string& boundary)
    {
        const ServerOptions& o = m_state.options;
        const auto length = parser.content_length();
        if (length && *length > o.maxUploadBytes + kFormOverhead)
            co_return closing(failureResponse(413, "File too large: the limit is " +
                                                       humanSize(o.maxUploadBytes)));
        parser.body_limit(o.maxUploadBytes + kFormOverhead);
        co_await proceed(parser);
        UploadForm form(m_state.service, length.value_or(0));
        MultipartReader reader(boundary);
        std::vector<char> chunk(kChunkBytes);
        const auto malformed = [] {
            return closing(failureResponse(400, "Invalid request: malformed multipart form"));
        };
        for (bool done = false; !done;) {
            if (bodyDone(parser))
                co_return malformed();
            const auto n = co_await readSome(parser, chunk);
            if (!n)
                co_return closing(*m_readFailure);
            reader.feed(std::string_view(chunk.data(), *n));
            for (auto event = reader.next(); event != MultipartReader::Event::NeedMore && !done;
                 event = reader.next()) {
                bool ok = true;
                switch (event) {
                case MultipartReader::Event::PartBegin:
                    ok = form.begin(reader.name(), reader.fileName());
                    break;
                case MultipartReader::Event::Data:
                    ok = form.data(reader.data());
                    break;
                case MultipartReader::Event::PartEnd:
                    if (form.end())
                        ok = co_await onWorker(m_state, [&] { return form.authenticate(); });
                    break;
                case MultipartReader::Event::Done:
                    done = true;
                    break;
                default:
                    co_return malformed();
                }
                if (!ok)
                    co_return *form.refusal();
            }
        }
        // The form's end may come before the body's (an epilogue, a last line break).
        while (!bodyDone(parser)) {
            const auto n = co_await readSome(parser, chunk);
            if (!n)
                break;
        }
        co_return co_await onWorker(m_state, [&] { return form.finish(); });
    }

    asio::awaitable<bool> send(HttpResponse& res, bool keepAlive, unsigned version)
    {
        http::response<http::string_body> msg{static_cast<http::status>(res.status), version};
        msg.set("Referrer-Policy", "no-referrer");
        for (const auto& [name, value] : res.headers)
            msg.set(name, value);
        if (!res.contentType.empty())
            msg.set(http::field::content_type, res.contentType);
        msg.keep_alive(keepAlive);
        lowest().expires_after(m_state.options.bodyTimeout);
        if (!res.file) {
            m_sentBytes = res.body.size();
            msg.body() = std::move(res.body);
            msg.prepare_payload();
            const auto [ec, n] = co_await http::async_write(m_stream, msg, kTuple);
            co_return !ec;
        }
        m_sentBytes = res.fileLength;
        msg.content_length(res.fileLength);
        http::response_serializer<http::string_body> head{msg};
        if (const auto [ec, n] = co_await http::async_write_header(m_stream, head, kTuple); ec)
            co_return false;
        std::vector<char> chunk(kChunkBytes);
        for (std::uint64_t done = 0; done < res.fileLength;) {
            const std::size_t want = std::min<std::uint64_t>(chunk.size(), res.fileLength - done);
            const ssize_t got = ::pread(res.file->fd(), chunk.data(), want,
                                        static_cast<off_t>(res.fileOffset + done));
            if (got <= 0)
                co_return false; // the length is promised: only a cut connection is honest now
            lowest().expires_after(m_state.options.bodyTimeout);
            const auto [ec, n] = co_await asio::async_write(
                m_stream, asio::buffer(chunk.data(), static_cast<std::size_t>(got)), kTuple);
            if (ec)
                co_return false;
            done += static_cast<std::uint64_t>(got);
        }
        co_return true;
    }

    // Reads a little of what the client still sends before closing, so that the answer is
    // not lost to a reset.
    asio::awaitable<void> linger()
    {
        beast::error_code ignored;
        lowest().socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        lowest().expires_after(std::chrono::seconds(1));
        std::vector<char> sink(16 * 1024);
        for (std::size_t total = 0; total < kLingerBytes;) {
            const auto [ec, n] = co_await lowest().async_read_some(asio::buffer(sink), kTuple);
            if (ec)
                break;
            total += n;
        }
    }

    void log(const HttpRequest& req, const HttpResponse& res,
             std::chrono::steady_clock::time_point started)
    {
        m_state.log(req.remoteAddress, req.method, req.path, res.status, m_sentBytes, started);
    }

    ServerState& m_state;
    Stream m_stream;
    std::string m_address;
    beast::flat_buffer m_buffer;
    std::optional<HttpResponse> m_readFailure;
    std::optional<std::uint64_t> m_rawLeft; // body bytes still to come, when read past the parser
    std::uint64_t m_sentBytes = 0;
};

} // namespace

asio::awaitable<void> serveConnection(ServerState& state, asio::ip::tcp::socket socket,
                                      std::string address, asio::ssl::context* tls)
{
    struct Admitted {
        ServerState& state;
        std::string key;
        ~Admitted() { state.release(key); }
    } admitted{state, addressKey(address)};
    try {
        if (tls) {
            Connection<beast::ssl_stream<beast::tcp_stream>> c(
                state, beast::ssl_stream<beast::tcp_stream>(std::move(socket), *tls), address);
            co_await c.run();
        } else {
            Connection<beast::tcp_stream> c(state, beast::tcp_stream(std::move(socket)), address);
            co_await c.run();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "glimra-server: connection from %s: %s\n", address.c_str(), e.what());
    }
}

} // namespace glimra::server
