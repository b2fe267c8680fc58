// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TrustedProxies.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace glimra::server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8787;
    std::filesystem::path dataDir;
    // Empty: SQLite in the data folder. Else a PostgreSQL connection URI.
    std::string databaseUrl;
    // Empty: files in the data folder. Else s3://BUCKET?endpoint=URL&region=R.
    std::string storageUrl;
    std::string storageCredentials; // a file; else the AWS_* environment variables
    std::string tlsCert;
    std::string tlsKey;
    std::optional<std::uint64_t> quotaBytes; // per user; none means unlimited
    std::uint64_t maxUploadBytes = 64ull << 20;
    bool registrationOpen = true;
    std::chrono::seconds tokenLifetime = std::chrono::hours(24 * 30);
    int loginLimitPerUser = 10;
    int loginLimitPerAddress = 50;
    std::chrono::seconds loginWindow = std::chrono::minutes(15);
    int threads = 16;
    // Per connection: the whole header must arrive within headerTimeout; a body or an answer
    // may take any time as long as no read or write waits longer than bodyTimeout.
    std::chrono::seconds headerTimeout{10};
    std::chrono::seconds bodyTimeout{30};
    std::chrono::seconds idleTimeout{5};
    std::chrono::seconds drainTimeout{10};
    std::size_t maxHeaderBytes = 16 * 1024;
    int maxHeaderFields = 64;
    int maxConnections = 1024;
    int maxConnectionsPerAddress = 64;
    std::string accessLog = "-"; // "-" standard error, "" none
    // What users reach the server by, e.g. behind a proxy; share links start with it. Empty:
    // the listening address. Never taken from a request, whose Host header anyone may forge.
    std::string publicUrl;
    // Behind these, a request's client is read from X-Forwarded-For, and the proxy itself is
    // not held to the per-address connection limit.
    TrustedProxies trustedProxies;
};

enum class Command { Serve, AddUser, DeleteUser, Check, Sweep, Migrate, Help, Version };

struct Invocation {
    Command command = Command::Serve;
    ServerOptions options;
    std::string userName;              // add-user, delete-user
    std::string email;                 // add-user
    bool repair = false;               // check
    std::int64_t graceSeconds = 86400; // sweep
    std::filesystem::path from;        // migrate: the data folder moved
};

// Environment the defaults depend on, passed in so parsing stays pure.
struct Environment {
    const char* xdgDataHome = nullptr;
    const char* home = nullptr;
};

// Either what to do, or the message explaining what is wrong with the arguments.
std::variant<Invocation, std::string> parseCommandLine(const std::vector<std::string_view>& args,
                                                       const Environment& env);

// "1048576", "512K", "64M", "2G" (powers of 1024).
std::optional<std::uint64_t> parseSize(std::string_view text);
// "90" or "90s", "15m", "12h", "30d".
std::optional<std::chrono::seconds> parseDuration(std::string_view text);
// "HOST:PORT", "[v6]:PORT" or ":PORT" (all interfaces); port 0 picks a free one.
std::optional<std::pair<std::string, int>> parseListen(std::string_view text);
bool isLoopbackHost(std::string_view host);
// "http(s)://host[:port][/path]" without a query or fragment, trailing slashes dropped.
std::optional<std::string> parsePublicUrl(std::string_view text);

std::string_view usage();

} // namespace glimra::server
