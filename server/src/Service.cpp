// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

#include "SharedLimiter.h"

#include <algorithm>
#include <chrono>
#include <iostream>

namespace glimra::server {

namespace {

const std::string* stringMember(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                       : nullptr;
}

// Addresses remembered per name: enough for a person's machines and networks.
constexpr std::size_t kKnownAddressesPerName = 16;

// Counted in this process alone, unless other servers share the database.
std::unique_ptr<LoginLimiter> limiter(Store& store, const char* kind, int limit,
                                      std::chrono::seconds window)
{
    if (store.shared())
        return std::make_unique<SharedLimiter>(store, kind, limit, window);
    return std::make_unique<RateLimiter>(limit, window);
}

} // namespace

std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string isoTime(std::int64_t unixSeconds)
{
    const auto time = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    gmtime_r(&time, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string humanSize(std::uint64_t bytes)
{
    if (bytes % (1ull << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (1ull << 10) == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

HttpResponse jsonResponse(int status, const json& body)
{
    HttpResponse res;
    res.status = status;
    res.setHeader("Cache-Control", "no-store");
    res.contentType = "application/json";
    // Stored names are checked to be UTF-8 on the way in; replacing is only a last defence
    // against an answer that could not be written at all.
    res.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return res;
}

HttpResponse failureResponse(int status, std::string_view message)
{
    return jsonResponse(status, json{{"success", false}, {"error", message}});
}

HttpResponse textResponse(int status, std::string_view text)
{
    HttpResponse res;
    res.status = status;
    res.setHeader("Cache-Control", "no-store");
    res.contentType = "text/plain; charset=utf-8";
    res.body = text;
    return res;
}

HttpResponse closing(HttpResponse res)
{
    res.close = true;
    return res;
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
      m_userLimiter(limiter(store, "name ", options.loginLimitPerUser, options.loginWindow)),
      m_addressLimiter(
          limiter(store, "address ", options.loginLimitPerAddress, options.loginWindow))
{}

HttpResponse Service::handle(const HttpRequest& req)
{
    // A full disk may still allow what frees space or needs only the database: the reserve
    // file gives the database room for one more try.
    for (int attempt = 0;; ++attempt) {
        try {
            return dispatch(req);
        } catch (const std::exception& e) {
            if (isDiskFull(e) && attempt == 0 && m_store.releaseReserve())
                continue;
            std::cerr << "glimra-server: " << req.method << ' ' << req.path << ": " << e.what()
                      << '\n';
            if (isDiskFull(e))
                return failureResponse(507, "The server's disk is full");
            return failureResponse(500, "Internal server error");
        }
    }
}

HttpResponse Service::health()
{
    return m_store.healthy() ? textResponse(200, "ok\n") : textResponse(503, "unavailable\n");
}

HttpResponse Service::dispatch(const HttpRequest& req)
{
    if (req.method == "GET")
        return req.path.starts_with(kSharePrefix) ? sharedPicture(req) : download(req);
    const json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return failureResponse(400, "Invalid JSON");
    return req.path == kAuthPath ? handleAuth(req, body) : handleSync(body);
}

HttpResponse Service::handleAuth(const HttpRequest& req, const json& body)
{
    const std::string* action = stringMember(body, "action");
    if (action && *action == "login")
        return login(body, req);
    if (action && *action == "register")
        return registerUser(body);
    if (action && *action == "validate")
        return validate(body);
    if (action && *action == "logout")
        return logout(body);
    return failureResponse(400, "Unknown action");
}

HttpResponse Service::handleSync(const json& body)
{
    const std::string* action = stringMember(body, "action");
    if (action && *action == "list")
        return list(body);
    if (action && *action == "delete")
        return remove(body);
    if (action && *action == "share")
        return share(body);
    if (action && *action == "unshare")
        return unshare(body);
    if (action && *action == "upload")
        return failureResponse(400, "Invalid request: an upload is a multipart form");
    return failureResponse(400, "Unknown action");
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

HttpResponse Service::signIn(std::int64_t userId)
{
    const std::string token = newToken();
    const std::int64_t now = unixNow();
    const std::int64_t expiresAt = now + m_options.tokenLifetime.count();
    m_store.pruneSessions(now);
    if (m_store.shared())
        m_store.pruneLoginAttempts(now - m_options.loginWindow.count());
    m_store.addSession(userId, tokenDigest(token), expiresAt);
    return jsonResponse(200, json{{"success", true},
                                  {"token", token},
                                  {"expires_in", m_options.tokenLifetime.count()},
                                  {"user", userJson(userId)}});
}

std::string Service::nameKey(const std::string& name, const std::string& address)
{
    if (m_store.shared())
        return m_store.knownAddress(name, address) ? name + " from " + address : name;
    std::lock_guard lock(m_knownMutex);
    const auto known = m_knownAddresses.find(name);
    if (known != m_knownAddresses.end() &&
        std::find(known->second.begin(), known->second.end(), address) != known->second.end())
        return name + " from " + address;
    return name;
}

void Service::rememberAddress(const std::string& name, const std::string& address)
{
    if (m_store.shared()) {
        // Two servers remembering for one name at once may collide; the password was right,
        // so the sign-in goes on without this address remembered.
        try {
            m_store.rememberAddress(name, address, kKnownAddressesPerName);
        } catch (const std::exception& e) {
            std::cerr << "glimra-server: remembering an address: " << e.what() << '\n';
        }
        return;
    }
    std::lock_guard lock(m_knownMutex);
    // The least recently seen goes first, not whichever sorts first.
    auto& addresses = m_knownAddresses[name];
    std::erase(addresses, address);
    if (addresses.size() >= kKnownAddressesPerName)
        addresses.erase(addresses.begin());
    addresses.push_back(address);
}

HttpResponse Service::login(const json& body, const HttpRequest& req)
{
    const std::string* name = stringMember(body, "username");
    const std::string* password = stringMember(body, "password");
    if (!name || !password || name->empty() || password->empty())
        return failureResponse(400, "Username and password are required");
    // No valid name is this long; a cut key keeps guessed giants from filling the table.
    const std::string user = usernameKey(std::string_view(*name).substr(0, 64));
    const std::string address = addressKey(req.remoteAddress);
    const std::string userKey = nameKey(user, address);
    const auto now = LoginLimiter::Clock::now();
    // Counted before the password is hashed: guesses sent in parallel all find the count
    // already raised by those before them.
    auto wait = m_userLimiter->attempt(userKey, now);
    if (wait.count() == 0) {
        wait = m_addressLimiter->attempt(address, now);
        if (wait.count() > 0)
            m_userLimiter->forgive(userKey);
    }
    if (wait.count() > 0) {
        HttpResponse res = failureResponse(429, "Too many failed login attempts. Try again in " +
                                                    std::to_string(wait.count()) + " seconds");
        res.setHeader("Retry-After", std::to_string(wait.count()));
        return res;
    }

    const auto credentials = m_store.credentials(*name);
    bool accepted = false;
    if (credentials)
        accepted = m_hasher.verify(credentials->passwordHash, *password);
    else
        m_hasher.spendVerification(*password);
    if (!accepted)
        return failureResponse(401, "Invalid username or password");
    // The name's count is forgiven, but only this one attempt of the address's: signing in to
    // one's own account must not reset the count of an address that is guessing at others.
    m_userLimiter->clear(userKey);
    m_addressLimiter->forgive(address);
    rememberAddress(user, address);
    return signIn(credentials->userId);
}

HttpResponse Service::registerUser(const json& body)
{
    if (!m_options.registrationOpen)
        return failureResponse(403, "Registration is closed on this server");
    const std::string* name = stringMember(body, "username");
    const std::string* email = stringMember(body, "email");
    const std::string* password = stringMember(body, "password");
    if (!name || !email || !password)
        return failureResponse(400, "Username, email and password are required");
    std::optional<std::string> problem = usernameError(*name);
    if (!problem)
        problem = emailError(*email);
    if (!problem)
        problem = passwordError(*password);
    if (problem)
        return failureResponse(400, *problem);
    // Checked before the costly hash as well as atomically after it.
    if (m_store.credentials(*name))
        return failureResponse(409, "Username already taken");
    const auto userId = m_store.createUser(*name, *email, m_hasher.hash(*password));
    if (!userId)
        return failureResponse(409, "Username already taken");
    return signIn(*userId);
}

HttpResponse Service::validate(const json& body)
{
    const std::string* token = stringMember(body, "token");
    const auto userId = token ? userForToken(*token) : std::nullopt;
    if (!userId)
        return failureResponse(401, "Invalid or expired token");
    return jsonResponse(200, json{{"success", true}, {"user", userJson(*userId)}});
}

HttpResponse Service::logout(const json& body)
{
    // The same answer whether or not the token was valid: signing out cannot be used to
    // probe tokens.
    if (const std::string* token = stringMember(body, "token"); token && token->size() == 64)
        m_store.removeSession(tokenDigest(*token));
    return jsonResponse(200, json{{"success", true}, {"message", "Signed out"}});
}

} // namespace glimra::server
