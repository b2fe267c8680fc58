// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to glimra-server's request reading as they would come off a socket:
// the HTTP parser, the streamed upload form, the JSON actions and the download's query and
// range, against a throw-away store. Nothing may crash, leak or read out of bounds, and the
// upload form must never leave a temporary file behind.
#include "Multipart.h"
#include "ObjectStore.h"
#include "RequestHead.h"
#include "Service.h"
#include "TrustedProxies.h"
#include "Upload.h"

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace glimra::server;
namespace http = boost::beast::http;

namespace {

// The token of the one account; the seeds carry it, so uploads get past the token check.
constexpr const char* kToken = "00000000000000000000000000000000000000000000000000000000000000f1";

struct World {
    std::filesystem::path dir;
    std::unique_ptr<Store> store;
    ServerOptions options;
    std::unique_ptr<Service> service;

    World()
    {
        initCrypto();
        dir = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        dir /= "glimra-server-fuzz-" + std::to_string(::getpid());
        std::filesystem::remove_all(dir);
        store = std::make_unique<Store>(dir);
        const auto user = store->createUser("fuzz", "f@example.com", "not a hash");
        store->addSession(*user, tokenDigest(kToken), INT64_MAX / 2);
        options.dataDir = dir;
        options.maxUploadBytes = 64 * 1024;
        service = std::make_unique<Service>(*store, options);
    }
    ~World() { std::filesystem::remove_all(dir); }
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void readForm(World& world, const std::string& boundary, std::string_view body, std::size_t step)
{
    UploadForm form(*world.service, body.size());
    MultipartReader reader(boundary);
    bool refused = false;
    for (std::size_t at = 0; at < body.size() && !refused; at += step) {
        reader.feed(body.substr(at, step));
        for (auto event = reader.next(); event != MultipartReader::Event::NeedMore && !refused;
             event = reader.next()) {
            if (event == MultipartReader::Event::PartBegin)
                refused = !form.begin(reader.name(), reader.fileName());
            else if (event == MultipartReader::Event::Data)
                refused = !form.data(reader.data());
            else if (event == MultipartReader::Event::PartEnd)
                refused = form.end() && !form.authenticate();
            else
                break;
        }
    }
    const HttpResponse answer = form.finish();
    check(answer.status >= 200 && answer.status < 600 && !answer.body.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static World world;
    if (size == 0)
        return 0;
    // The first byte picks how the bytes are cut into reads, as a network would.
    const std::size_t step = 1 + data[0] % 64;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(256 * 1024);
    boost::beast::error_code ec;
    std::string_view rest = input;
    while (!rest.empty() && !parser.is_done()) {
        const std::size_t used = parser.put(boost::asio::buffer(rest.data(), rest.size()), ec);
        if (ec && ec != http::error::need_more)
            return 0;
        if (used == 0)
            break;
        rest.remove_prefix(used);
    }
    if (!parser.is_header_done())
        return 0;
    const auto& msg = parser.get();
    HttpRequest req;
    readRequestHead(msg, req);
    // As from a trusted proxy: whatever the header holds, the client named is an address.
    static const auto proxies = TrustedProxies::parse("192.0.2.0/24,2001:db8::/32");
    req.remoteAddress = proxies->client("192.0.2.1", forwardedFor(msg));
    check(TrustedProxies::parse(req.remoteAddress).has_value());
    req.body = msg.body();

    if (const auto boundary = multipartBoundary(req.contentType)) {
        readForm(world, *boundary, req.body, step);
        check(std::filesystem::is_empty(world.store->tmpDir()));
        return 0;
    }
    // Sign-ins hash a password for a fifth of a second: far too slow to fuzz here, and the
    // hashing library is not ours to test.
    if (req.body.find("login") != std::string::npos ||
        req.body.find("register") != std::string::npos)
        return 0;
    const HttpResponse answer = world.service->handle(req);
    check(answer.status >= 200 && answer.status < 600);
    if (answer.file)
        check(answer.fileLength == 0 || answer.fileOffset + answer.fileLength > answer.fileOffset);
    return 0;
}
