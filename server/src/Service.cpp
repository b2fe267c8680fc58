#include "Service.h"

#include "RequestBody.h"

#include <chrono>
#include <iostream>

namespace glimra::server {

using detail::Failure;
using detail::readJsonRequest;
using detail::stringMember;

std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void sendJson(httplib::Response& res, int status, const json& body)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    // Stored names are checked to be UTF-8 on the way in; replacing is only a last defence
    // against an answer that could not be written at all.
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

void sendFailure(httplib::Response& res, int status, std::string_view message)
{
    sendJson(res, status, json{{"success", false}, {"error", message}});
}

json recordJson(const ScreenshotRecord& record)
{
    return json{{"id", record.id},
                {"filename", record.filename},
                {"original_filename", record.originalFilename},
                {"file_size", record.fileSize},
                {"capture_type", record.captureType},
                {"uploaded_at", record.uploadedAt}};
}

Service::Service(Store& store, const ServerOptions& options)
    : m_store(store), m_options(options),
      m_userLimiter(options.loginLimitPerUser, options.loginWindow),
      m_addressLimiter(options.loginLimitPerAddress, options.loginWindow)
{}

void Service::install(httplib::Server& server)
{
    server.Post(kAuthPath, [this](const Request& req, Response& res, const Reader& reader) {
        handleAuth(req, res, reader);
    });
    server.Post(kSyncPath, [this](const Request& req, Response& res, const Reader& reader) {
        handleSyncPost(req, res, reader);
    });
    server.Get(kSyncPath, [this](const Request& req, Response& res) { handleDownload(req, res); });

    // Whatever httplib answers on its own (no route, a body over the limit) still gets the
    // body shape every client of this service reads.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
            if (!res.body.empty() || res.content_length_ != 0)
                return httplib::Server::HandlerResponse::Unhandled;
            const char* message = res.status == 404   ? "Not found"
                                  : res.status == 413 ? "Request too large"
                                  : res.status == 405 ? "Method not allowed"
                                                      : "Invalid request";
            sendFailure(res, res.status, message);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler([](const Request& req, Response& res, std::exception_ptr ep) {
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            std::cerr << "glimra-server: " << req.method << ' ' << req.path << ": " << e.what()
                      << '\n';
        } catch (...) {
            std::cerr << "glimra-server: " << req.method << ' ' << req.path << ": failed\n";
        }
        // A download may already have set its headers; the failure must not look like a file.
        res = Response();
        sendFailure(res, 500, "Internal server error");
    });
}

void Service::handleAuth(const Request& req, Response& res, const Reader& reader)
{
    const std::optional<json> body = readJsonRequest(req, reader, res);
    if (!body)
        return;
    const json& request = *body;
    const std::string* action = stringMember(request, "action");
    if (action && *action == "login")
        login(request, req, res);
    else if (action && *action == "register")
        registerUser(request, res);
    else if (action && *action == "validate")
        validate(request, res);
    else
        sendFailure(res, 400, "Unknown action");
}

std::optional<std::int64_t> Service::userForToken(std::string_view token)
{
    // Tokens this server makes are 64 hexadecimal digits; anything else is not worth hashing.
    if (token.size() != 64)
        return std::nullopt;
    return m_store.sessionUser(tokenDigest(token), unixNow());
}

json Service::userJson(std::int64_t userId)
{
    const auto account = m_store.account(userId);
    if (!account)
        return json::object();
    return json{{"id", account->id},
                {"username", account->username},
                {"email", account->email},
                {"screenshot_count", account->screenshotCount},
                {"storage_used_bytes", account->storageUsedBytes}};
}

void Service::signIn(std::int64_t userId, Response& res)
{
    const std::string token = newToken();
    const std::int64_t now = unixNow();
    const std::int64_t expiresAt = now + m_options.tokenLifetime.count();
    m_store.pruneSessions(now);
    m_store.addSession(userId, tokenDigest(token), expiresAt);
    sendJson(res, 200,
             json{{"success", true},
                  {"token", token},
                  {"expires_in", m_options.tokenLifetime.count()},
                  {"user", userJson(userId)}});
}

void Service::login(const json& body, const Request& req, Response& res)
{
    const std::string* name = stringMember(body, "username");
    const std::string* password = stringMember(body, "password");
    if (!name || !password || name->empty() || password->empty()) {
        sendFailure(res, 400, "Username and password are required");
        return;
    }
    // No valid name is this long; a cut key keeps guessed giants from filling the table.
    const std::string userKey = usernameKey(std::string_view(*name).substr(0, 64));
    const std::string addressKey = server::addressKey(req.remote_addr);
    const auto now = RateLimiter::Clock::now();
    const auto wait = std::max(m_userLimiter.retryAfter(userKey, now),
                               m_addressLimiter.retryAfter(addressKey, now));
    if (wait.count() > 0) {
        res.set_header("Retry-After", std::to_string(wait.count()));
        sendFailure(res, 429,
                    "Too many failed login attempts. Try again in " + std::to_string(wait.count()) +
                        " seconds");
        return;
    }

    const auto credentials = m_store.credentials(*name);
    bool accepted = false;
    if (credentials)
        accepted = m_hasher.verify(credentials->passwordHash, *password);
    else
        m_hasher.spendVerification(*password);
    if (!accepted) {
        m_userLimiter.recordFailure(userKey, now);
        m_addressLimiter.recordFailure(addressKey, now);
        sendFailure(res, 401, "Invalid username or password");
        return;
    }
    // Only the name's count is forgiven: signing in to one's own account must not reset the
    // count of an address that is guessing at others.
    m_userLimiter.clear(userKey);
    signIn(credentials->userId, res);
}

void Service::registerUser(const json& body, Response& res)
{
    if (!m_options.registrationOpen) {
        sendFailure(res, 403, "Registration is closed on this server");
        return;
    }
    const std::string* name = stringMember(body, "username");
    const std::string* email = stringMember(body, "email");
    const std::string* password = stringMember(body, "password");
    if (!name || !email || !password) {
        sendFailure(res, 400, "Username, email and password are required");
        return;
    }
    std::optional<std::string> problem = usernameError(*name);
    if (!problem)
        problem = emailError(*email);
    if (!problem)
        problem = passwordError(*password);
    if (problem) {
        sendFailure(res, 400, *problem);
        return;
    }
    // Checked before the costly hash as well as atomically after it.
    if (m_store.credentials(*name)) {
        sendFailure(res, 409, "Username already taken");
        return;
    }
    const auto userId = m_store.createUser(*name, *email, m_hasher.hash(*password));
    if (!userId) {
        sendFailure(res, 409, "Username already taken");
        return;
    }
    signIn(*userId, res);
}

void Service::validate(const json& body, Response& res)
{
    const std::string* token = stringMember(body, "token");
    const auto userId = token ? userForToken(*token) : std::nullopt;
    if (!userId) {
        sendFailure(res, 401, "Invalid or expired token");
        return;
    }
    sendJson(res, 200, json{{"success", true}, {"user", userJson(*userId)}});
}

} // namespace glimra::server
