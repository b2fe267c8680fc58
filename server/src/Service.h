// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Crypto.h"
#include "Http.h"
#include "Options.h"
#include "RateLimiter.h"
#include "Store.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace glimra::server {

using nlohmann::json;

inline constexpr const char* kAuthPath = "/glimra/api/auth.php";
inline constexpr const char* kSyncPath = "/glimra/api/sync.php";
// Followed by a link's id: the picture for anyone who has the link.
inline constexpr const char* kSharePrefix = "/s/";
inline constexpr std::size_t kMaxJsonBytes = 64 * 1024;

// The two endpoints. Handlers only parse and answer; the store does the work. Every JSON
// answer carries "success", and "error" when it failed: the client reads bodies, not statuses.
// Every method may block on the disk or a password hash: call them from worker threads.
class Service {
public:
    Service(Store& store, const ServerOptions& options);
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Answers a request whose body, if it has one, is read (uploads: see UploadForm).
    HttpResponse handle(const HttpRequest& req);
    std::optional<std::int64_t> userForToken(std::string_view token);
    // For a load balancer: 200 only while the database and the bucket both answer.
    HttpResponse health();
    // The account of a JSON request's "token" member, if it names a live session.
    std::optional<std::int64_t> userForBody(const json& body);

    // Where links point: the public URL, else the address actually listened on.
    void setOrigin(std::string origin) { m_origin = std::move(origin); }
    Store& store() { return m_store; }
    const ServerOptions& options() const { return m_options; }

private:
    HttpResponse dispatch(const HttpRequest& req);
    HttpResponse handleAuth(const HttpRequest& req, const json& body);
    HttpResponse handleSync(const json& body);
    HttpResponse download(const HttpRequest& req);

    HttpResponse login(const json& body, const HttpRequest& req);
    HttpResponse registerUser(const json& body);
    HttpResponse validate(const json& body);
    HttpResponse logout(const json& body);
    HttpResponse list(const json& body);
    HttpResponse remove(const json& body);
    HttpResponse share(const json& body);
    HttpResponse unshare(const json& body);
    HttpResponse sharedPicture(const HttpRequest& req);
    json shareJson(const ShareLink& link) const;

    HttpResponse signIn(std::int64_t userId);
    json userJson(std::int64_t userId);
    // The name's failures are counted apart for each address its owner has signed in from,
    // so a stranger guessing the password cannot lock the owner out of a known address.
    std::string nameKey(const std::string& name, const std::string& address);
    void rememberAddress(const std::string& name, const std::string& address);

    Store& m_store;
    const ServerOptions m_options;
    PasswordHasher m_hasher;
    std::unique_ptr<LoginLimiter> m_userLimiter;
    std::unique_ptr<LoginLimiter> m_addressLimiter;
    std::mutex m_knownMutex;
    std::unordered_map<std::string, std::vector<std::string>> m_knownAddresses; // oldest first
    std::string m_origin;
};

// Shared by the handlers.
json recordJson(const ScreenshotRecord& record);
HttpResponse jsonResponse(int status, const json& body);
HttpResponse failureResponse(int status, std::string_view message);
HttpResponse textResponse(int status, std::string_view text);
// The same answer, after which the connection ends.
HttpResponse closing(HttpResponse res);
std::string humanSize(std::uint64_t bytes);
// The opened stored file with the download's safety headers and a Range honoured; nothing
// when it cannot be read. `disposition`: "attachment" or "inline".
std::optional<HttpResponse> fileResponse(const HttpRequest& req, const StoredFile& stored,
                                         std::shared_ptr<FileHandle> handle,
                                         std::string_view disposition);

} // namespace glimra::server
