#pragma once

#include "Crypto.h"
#include "Options.h"
#include "RateLimiter.h"
#include "Store.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glimra::server {

using nlohmann::json;

inline constexpr const char* kAuthPath = "/glimra/api/auth.php";
inline constexpr const char* kSyncPath = "/glimra/api/sync.php";

// The two endpoints. Handlers only parse and answer; the store does the work. Every JSON
// answer carries "success", and "error" when it failed: the client reads bodies, not statuses.
class Service {
public:
    Service(Store& store, const ServerOptions& options);
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void install(httplib::Server& server);

private:
    using Request = httplib::Request;
    using Response = httplib::Response;
    using Reader = httplib::ContentReader;

    void handleAuth(const Request& req, Response& res, const Reader& reader);
    void handleSyncPost(const Request& req, Response& res, const Reader& reader);
    void handleDownload(const Request& req, Response& res);

    void login(const json& body, const Request& req, Response& res);
    void registerUser(const json& body, Response& res);
    void validate(const json& body, Response& res);
    void list(const json& body, Response& res);
    void remove(const json& body, Response& res);
    void upload(const Request& req, Response& res, const Reader& reader);

    std::optional<std::int64_t> userForToken(std::string_view token);
    void signIn(std::int64_t userId, Response& res);
    json userJson(std::int64_t userId);

    Store& m_store;
    const ServerOptions m_options;
    PasswordHasher m_hasher;
    RateLimiter m_userLimiter;
    RateLimiter m_addressLimiter;
};

// Shared by the handlers.
json recordJson(const ScreenshotRecord& record);
void sendJson(httplib::Response& res, int status, const json& body);
void sendFailure(httplib::Response& res, int status, std::string_view message);
std::int64_t unixNow();

} // namespace glimra::server
