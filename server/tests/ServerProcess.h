// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace glimra::server::test {

namespace fs = std::filesystem;
using nlohmann::json;

// A throw-away folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// The real glimra-server binary on a free 127.0.0.1 port.
class ServerProcess {
public:
    explicit ServerProcess(const fs::path& dataDir, std::vector<std::string> extraArgs = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return m_port; }
    int pid() const { return m_pid; }
    httplib::Client client() const;
    // Sends the signal and returns the exit status (or 128 + signal when killed by it).
    int stop(int signal);

private:
    int m_pid = -1;
    int m_port = 0;
};

// True when the rows run against PostgreSQL rather than SQLite.
bool onPostgres();
// True when the rows keep their files in the S3 stand-in rather than the data folder.
bool onBucket();
// A database of the test cluster for the server on this data folder, made when missing.
std::string testDatabaseUrl(const fs::path& dataDir);
// The stored objects of the server on this data folder: files below DATA/blobs named from
// DATA, or the keys in the bucket ("blobs/USER/HASH/ID.EXT").
std::vector<std::string> storedObjects(const fs::path& dataDir);

// The S3-compatible stand-in (a Node program) on a free port with a folder of its own. The
// key pair goes to this process's environment, which the servers started later inherit.
class S3StandIn {
public:
    // Node 20 or later and the stand-in's packages are there.
    static bool available();
    S3StandIn();
    ~S3StandIn() { stop(); }
    S3StandIn(const S3StandIn&) = delete;
    S3StandIn& operator=(const S3StandIn&) = delete;
    std::string storageUrl() const;
    // The keys of the objects now in the bucket.
    std::vector<std::string> keys() const;
    void stop();

private:
    TempDir m_dir;
    int m_pid = -1;
    int m_port = 0;
    int m_lifeline = -1; // its standard input: it ends when this process does
};
// The stand-in the servers of the rows share when they run against a bucket.
S3StandIn& sharedBucket();

// Runs the binary to completion with these arguments and this standard input.
struct RunResult {
    int status;
    std::string out;
};
RunResult runServerCommand(const std::vector<std::string>& args, const std::string& input = {});

// Starts the binary and sends SIGTERM after `delay`: its exit status, or -1 when it did not
// end within five seconds.
int stopDuringStart(const std::vector<std::string>& args, std::chrono::microseconds delay);

// A plain TCP connection from `from`, for what an HTTP client library will not send.
class RawConnection {
public:
    explicit RawConnection(int port, const char* from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    // False once the server has closed the connection.
    bool send(std::string_view bytes);
    // What arrives until the server closes or `timeout` passes.
    std::string receive(std::chrono::milliseconds timeout);

private:
    int m_fd;
};
// The status of a raw answer ("HTTP/1.1 431 ..."), 0 when there is none.
int statusOf(const std::string& answer);
// A JSON POST as bytes on the wire, with any further header lines ("Name: value\r\n").
std::string jsonRequest(const char* path, const json& body, const char* connection = "close",
                        const std::string& extraHeaders = {});
// A login from `from` on a connection of its own: the raw answer.
std::string rawLogin(int port, const std::string& from, const std::string& name,
                     const std::string& password, const std::string& extraHeaders = {});

struct Reply {
    int status = 0;
    json body; // discarded when the body was not JSON
    std::string raw;
    httplib::Headers headers;
    bool ok() const { return body.is_object() && body.value("success", false) == true; }
    std::string error() const { return body.is_object() ? body.value("error", "") : ""; }
};

inline constexpr const char* kAuth = "/glimra/api/auth.php";
inline constexpr const char* kSync = "/glimra/api/sync.php";

Reply post(httplib::Client& client, const char* path, const json& body);
Reply postRaw(httplib::Client& client, const char* path, const std::string& body,
              const std::string& contentType);
std::string registerUser(httplib::Client& client, const std::string& name,
                         const std::string& password = "correct horse");

// The form exactly as the Glimra client builds it: five fields, always in this order.
std::string uploadForm(const std::string& boundary, const std::string& token,
                       const std::string& captureType, const std::string& fileName,
                       const std::string& bytes);
Reply upload(httplib::Client& client, const std::string& token, const std::string& bytes,
             const std::string& fileName = "Glimra_2024-05-01_12-00-00.png",
             const std::string& captureType = "fullscreen");
Reply download(httplib::Client& client, const std::string& token, std::int64_t id);
json listing(httplib::Client& client, const std::string& token);

// Bytes that pass as a PNG (only the signature is looked at), different for every seed.
std::string fakePng(int seed, std::size_t size = 2048);
// The regular files below a folder, recursively.
std::vector<fs::path> filesUnder(const fs::path& dir);

} // namespace glimra::server::test
