#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

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

// Runs the binary to completion with these arguments and this standard input.
struct RunResult {
    int status;
    std::string out;
};
RunResult runServerCommand(const std::vector<std::string>& args, const std::string& input = {});

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
