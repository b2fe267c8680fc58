// SPDX-License-Identifier: GPL-3.0-or-later
#include "Options.h"

#include "S3Client.h"

#include <arpa/inet.h>

#include <charconv>

namespace glimra::server {

namespace {

std::optional<std::uint64_t> parseNumber(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> scaled(std::string_view digits, std::uint64_t unit)
{
    const auto value = parseNumber(digits);
    if (!value || *value > UINT64_MAX / unit)
        return std::nullopt;
    return *value * unit;
}

std::optional<int> parseCount(std::string_view text, int minimum)
{
    const auto value = parseNumber(text);
    if (!value || *value < static_cast<std::uint64_t>(minimum) || *value > 1'000'000)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

std::optional<std::uint64_t> parseSize(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t unit = 1;
    switch (text.back()) {
    case 'K':
    case 'k':
        unit = 1ull << 10;
        break;
    case 'M':
    case 'm':
        unit = 1ull << 20;
        break;
    case 'G':
    case 'g':
        unit = 1ull << 30;
        break;
    default:
        return parseNumber(text);
    }
    return scaled(text.substr(0, text.size() - 1), unit);
}

std::optional<std::chrono::seconds> parseDuration(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t unit = 0;
    switch (text.back()) {
    case 's':
        unit = 1;
        break;
    case 'm':
        unit = 60;
        break;
    case 'h':
        unit = 3600;
        break;
    case 'd':
        unit = 86400;
        break;
    default:
        break;
    }
    const auto value =
        unit == 0 ? parseNumber(text) : scaled(text.substr(0, text.size() - 1), unit);
    // Ten years is plenty and keeps every later addition to a time point far from overflow.
    if (!value || *value == 0 || *value > 10ull * 366 * 86400)
        return std::nullopt;
    return std::chrono::seconds(static_cast<std::int64_t>(*value));
}

std::optional<std::pair<std::string, int>> parseListen(std::string_view text)
{
    std::string host;
    std::string_view rest;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || text.substr(close + 1, 1) != ":")
            return std::nullopt;
        host = std::string(text.substr(1, close - 1));
        in6_addr probe{};
        if (inet_pton(AF_INET6, host.c_str(), &probe) != 1)
            return std::nullopt;
        rest = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        host = std::string(text.substr(0, colon));
        if (host.find(':') != std::string::npos)
            return std::nullopt; // a bare IPv6 address needs brackets
        if (host.empty())
            host = "0.0.0.0";
        rest = text.substr(colon + 1);
    }
    const auto port = parseNumber(rest);
    if (!port || *port > 65535 || host.empty())
        return std::nullopt;
    return std::pair{host, static_cast<int>(*port)};
}

bool isLoopbackHost(std::string_view host)
{
    if (host == "localhost")
        return true;
    const std::string h(host);
    in_addr v4{};
    if (inet_pton(AF_INET, h.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<std::string> parsePublicUrl(std::string_view text)
{
    const std::size_t scheme = text.starts_with("https://")  ? 8
                               : text.starts_with("http://") ? 7
                                                             : 0;
    while (text.ends_with('/'))
        text.remove_suffix(1);
    if (scheme == 0 || text.size() <= scheme || text[scheme] == '/')
        return std::nullopt;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        // The URL is handed out inside JSON and pasted into chats: plain printable ASCII only.
        if (u <= 0x20 || u >= 0x7F || c == '?' || c == '#' || c == '"' || c == '\\')
            return std::nullopt;
    }
    return std::string(text);
}

std::variant<Invocation, std::string> parseCommandLine(const std::vector<std::string_view>& args,
                                                       const Environment& env)
{
    Invocation inv;
    ServerOptions& o = inv.options;
    std::optional<std::string_view> registration;
    std::vector<std::string_view> positional;
    // Asking for help never fails, whatever else is on the line.
    for (const std::string_view arg : args) {
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            inv.command = arg == "--version" ? Command::Version : Command::Help;
            return inv;
        }
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--repair") {
            inv.repair = true;
            continue;
        }
        if (i + 1 >= args.size())
            return "Option " + std::string(arg) + " needs a value";
        const std::string_view value = args[++i];
        const auto bad = [&] {
            return "Invalid value for " + std::string(arg) + ": " + std::string(value);
        };
        if (arg == "--listen") {
            const auto listen = parseListen(value);
            if (!listen)
                return bad();
            std::tie(o.host, o.port) = *listen;
        } else if (arg == "--data") {
            if (value.empty())
                return bad();
            o.dataDir = std::filesystem::path(value);
        } else if (arg == "--from") {
            inv.from = std::filesystem::path(value);
        } else if (arg == "--database" || arg == "--to-database") {
            if (!value.starts_with("postgresql://") && !value.starts_with("postgres://"))
                return bad();
            o.databaseUrl = value;
        } else if (arg == "--storage" || arg == "--to-storage") {
            if (!parseS3Url(value))
                return bad();
            o.storageUrl = value;
        } else if (arg == "--storage-credentials") {
            o.storageCredentials = value;
        } else if (arg == "--grace") {
            const auto d =
                value == "0" ? std::optional(std::chrono::seconds(0)) : parseDuration(value);
            if (!d)
                return bad();
            inv.graceSeconds = d->count();
        } else if (arg == "--tls-cert") {
            o.tlsCert = value;
        } else if (arg == "--tls-key") {
            o.tlsKey = value;
        } else if (arg == "--quota") {
            if (!(o.quotaBytes = parseSize(value)))
                return bad();
        } else if (arg == "--max-upload") {
            const auto size = parseSize(value);
            if (!size || *size == 0)
                return bad();
            o.maxUploadBytes = *size;
        } else if (arg == "--registration") {
            if (value != "open" && value != "closed")
                return bad();
            registration = value;
        } else if (arg == "--token-lifetime") {
            const auto d = parseDuration(value);
            if (!d)
                return bad();
            o.tokenLifetime = *d;
        } else if (arg == "--login-limit-user" || arg == "--login-limit-address") {
            const auto n = parseCount(value, 1);
            if (!n)
                return bad();
            (arg == "--login-limit-user" ? o.loginLimitPerUser : o.loginLimitPerAddress) = *n;
        } else if (arg == "--login-window") {
            const auto d = parseDuration(value);
            if (!d)
                return bad();
            o.loginWindow = *d;
        } else if (arg == "--header-timeout" || arg == "--body-timeout" ||
                   arg == "--idle-timeout" || arg == "--drain-timeout") {
            const auto d = parseDuration(value);
            if (!d)
                return bad();
            (arg == "--header-timeout" ? o.headerTimeout
             : arg == "--body-timeout" ? o.bodyTimeout
             : arg == "--idle-timeout" ? o.idleTimeout
                                       : o.drainTimeout) = *d;
        } else if (arg == "--max-header-bytes") {
            const auto size = parseSize(value);
            if (!size || *size < 1024 || *size > (1u << 20))
                return bad();
            o.maxHeaderBytes = *size;
        } else if (arg == "--max-header-fields" || arg == "--max-connections" ||
                   arg == "--max-connections-per-address") {
            const auto n = parseCount(value, 1);
            if (!n)
                return bad();
            (arg == "--max-header-fields" ? o.maxHeaderFields
             : arg == "--max-connections" ? o.maxConnections
                                          : o.maxConnectionsPerAddress) = *n;
        } else if (arg == "--public-url") {
            const auto url = parsePublicUrl(value);
            if (!url)
                return bad();
            o.publicUrl = *url;
        } else if (arg == "--trusted-proxy") {
            auto proxies = TrustedProxies::parse(value);
            if (!proxies)
                return bad();
            o.trustedProxies = std::move(*proxies);
        } else if (arg == "--access-log") {
            o.accessLog = value == "off" ? std::string() : std::string(value);
        } else if (arg == "--threads") {
            const auto n = parseCount(value, 2);
            if (!n || *n > 1024)
                return bad();
            o.threads = *n;
        } else {
            return "Unknown option " + std::string(arg);
        }
    }

    if (!positional.empty()) {
        const std::string_view command = positional[0];
        if (command == "add-user" && positional.size() == 3) {
            inv.command = Command::AddUser;
            inv.email = positional[2];
        } else if (command == "delete-user" && positional.size() == 2) {
            inv.command = Command::DeleteUser;
        } else if (command == "check" && positional.size() == 1) {
            inv.command = Command::Check;
        } else if (command == "sweep" && positional.size() == 1) {
            inv.command = Command::Sweep;
        } else if (command == "migrate" && positional.size() == 1) {
            inv.command = Command::Migrate;
            if (inv.from.empty() || o.databaseUrl.empty() || o.storageUrl.empty())
                return std::string("migrate needs --from DIR --to-database URL --to-storage URL");
            o.dataDir = inv.from; // its temporaries go beside the data they come from
        } else {
            return std::string("Unexpected argument ") + std::string(command);
        }
        if (positional.size() > 1)
            inv.userName = positional[1];
    }
    if (inv.repair && inv.command != Command::Check)
        return std::string("--repair goes with check");
    if (o.tlsCert.empty() != o.tlsKey.empty())
        return std::string("--tls-cert and --tls-key go together");
    // An open door is a fine default for a server only this machine can reach.
    o.registrationOpen = registration ? *registration == "open" : isLoopbackHost(o.host);
    if (o.dataDir.empty()) {
        if (env.xdgDataHome && *env.xdgDataHome == '/')
            o.dataDir = std::filesystem::path(env.xdgDataHome) / "glimra-server";
        else if (env.home && *env.home)
            o.dataDir = std::filesystem::path(env.home) / ".local/share/glimra-server";
        else
            return std::string("No data folder: set --data, XDG_DATA_HOME or HOME");
    }
    return inv;
}

std::string_view usage()
{
    return R"(Usage: glimra-server [OPTIONS]
       glimra-server add-user NAME EMAIL [--data DIR]   (password on standard input)
       glimra-server delete-user NAME [--data DIR]      (with all its screenshots)
       glimra-server check [--repair] [--data DIR]      (the store's state; --repair fixes it)
       glimra-server sweep [--grace DURATION] ...       (tidies a bucket now; see --storage)
       glimra-server migrate --from DIR --to-database URL --to-storage URL
                                   (copies a data folder there; run it again to resume)

Serves Glimra accounts and screenshot sync on /glimra/api/auth.php and /glimra/api/sync.php.

Options:
  --listen HOST:PORT         address to listen on (default 127.0.0.1:8787; [::1]:PORT for IPv6)
  --data DIR                 data folder (default $XDG_DATA_HOME/glimra-server)
  --database URL             keep accounts and records in PostgreSQL instead of SQLite:
                             postgresql://USER@HOST:PORT/DB (a libpq URI; a password is best
                             kept in ~/.pgpass or PGPASSWORD)
  --storage URL              keep screenshot files in an S3-compatible bucket instead of the
                             data folder: s3://BUCKET?endpoint=URL&region=R (path-style);
                             credentials from AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY
  --storage-credentials FILE or from this file (lines NAME=VALUE with those two names)
  --tls-cert FILE            PEM certificate chain; with --tls-key, serve HTTPS
  --tls-key FILE             PEM private key
  --quota BYTES              storage per user (suffix K, M or G; default unlimited)
  --max-upload BYTES         largest accepted screenshot (default 64M)
  --registration open|closed whether anyone may register (default: open on loopback only)
  --token-lifetime DURATION  how long a sign-in lasts (s, m, h or d; default 30d)
  --login-limit-user N       failed logins per user name within the window (default 10)
  --login-limit-address N    failed logins per client address within the window (default 50)
  --login-window DURATION    window for the two limits above (default 15m)
  --threads N                requests handled at once (default 16)
  --header-timeout DURATION  time for a request's whole header (default 10s)
  --body-timeout DURATION    longest wait for any piece of a body or answer (default 30s)
  --idle-timeout DURATION    how long an idle connection stays open (default 5s)
  --drain-timeout DURATION   time given to requests in progress at SIGTERM (default 10s)
  --max-header-bytes BYTES   largest request header (default 16K)
  --max-header-fields N      most header fields in a request (default 64)
  --max-connections N        open connections in all (default 1024)
  --max-connections-per-address N   open connections from one address (default 64)
  --access-log FILE|-|off    one line per request (default - : standard error)
  --public-url URL           the address users reach this server by, e.g. behind a proxy;
                             share links start with it (default: the listening address)
  --trusted-proxy LIST       reverse proxies (addresses or networks, e.g. 127.0.0.1,10.0.0.0/8)
                             whose X-Forwarded-For names the client (default: none)
  --version                  show the version
  --help                     show this text

SIGTERM or SIGINT finishes the requests in progress (up to --drain-timeout) and exits.
Only one server may use a data folder at a time: it holds DATA/lock.
)";
}

} // namespace glimra::server
