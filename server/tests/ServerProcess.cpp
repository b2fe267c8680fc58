// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace glimra::server::test {

namespace {

struct Spawned {
    int pid;
    int out; // read end of the child's standard output
};

// Runs `all` (the program, found on PATH, and its arguments).
Spawned spawn(std::vector<std::string> all, int stdinFd)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + all[0]);
    }
    return {pid, pipeFds[0]};
}

Spawned spawnServer(const std::vector<std::string>& args, int stdinFd)
{
    // Runs the rows against another build, e.g. the one before a change.
    const char* bin = std::getenv("GLIMRA_SERVER_UNDER_TEST");
    std::vector<std::string> all{bin ? bin : GLIMRA_SERVER_BIN};
    all.insert(all.end(), args.begin(), args.end());
    // The same rows against PostgreSQL: each data folder gets a database of its own.
    const auto data = std::find(all.begin(), all.end(), "--data");
    if (onPostgres() && data != all.end() && data + 1 != all.end() &&
        std::find(all.begin(), all.end(), "--database") == all.end()) {
        const std::string url = testDatabaseUrl(*(data + 1));
        all.insert(all.end(), {"--database", url});
    }
    if (onBucket() && data != all.end() &&
        std::find(all.begin(), all.end(), "--storage") == all.end())
        all.insert(all.end(), {"--storage", sharedBucket().storageUrl()});
    return spawn(std::move(all), stdinFd);
}

std::string readAll(int fd, int timeoutMs, bool untilNewline)
{
    std::string out;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
        if (untilNewline && out.find('\n') != std::string::npos)
            break;
    }
    return out;
}

// The exit status, after up to `tries` polls 10 ms apart; -1 (and killed) past them.
int waitExit(int pid, int tries = 6000)
{
    for (int status = 0, i = 0; i < tries; ++i, ::usleep(10'000)) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

Reply toReply(const httplib::Result& result)
{
    Reply reply;
    if (!result)
        return reply;
    reply.status = result->status;
    reply.raw = result->body;
    reply.headers = result->headers;
    reply.body = json::parse(result->body, nullptr, false);
    return reply;
}

} // namespace

TempDir::TempDir()
{
    std::string templ = (fs::temp_directory_path() / "glimra-server-test-XXXXXX").string();
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp");
    m_path = templ;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

ServerProcess::ServerProcess(const fs::path& dataDir, std::vector<std::string> extraArgs)
{
    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--data", dataDir.string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    const Spawned spawned = spawnServer(args, -1);
    m_pid = spawned.pid;
    // Under the sanitizers a start takes a while; the line names the port it got.
    const std::string line = readAll(spawned.out, 20'000, true);
    ::close(spawned.out);
    const std::size_t colon = line.rfind(':', line.find(" ("));
    if (line.find("listening on") == std::string::npos || colon == std::string::npos) {
        ::kill(m_pid, SIGKILL);
        waitExit(m_pid);
        throw std::runtime_error("glimra-server did not start: " + line);
    }
    m_port = std::stoi(line.substr(colon + 1));
}

ServerProcess::~ServerProcess()
{
    if (m_pid > 0)
        stop(SIGTERM);
}

int ServerProcess::stop(int signal)
{
    // Never kill(-1, ...): that would signal every process this user may signal.
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, signal);
    const int status = waitExit(m_pid, 3000);
    m_pid = -1;
    return status;
}

httplib::Client ServerProcess::client() const
{
    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(20, 0);
    return client;
}

RunResult runServerCommand(const std::vector<std::string>& args, const std::string& input)
{
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const Spawned spawned = spawnServer(args, in[0]);
    ::close(in[0]);
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0)
        ADD_FAILURE() << "could not write to glimra-server";
    ::close(in[1]);
    std::string out = readAll(spawned.out, 20'000, false);
    ::close(spawned.out);
    // A command that should have ended but serves on instead fails rather than hangs.
    return {waitExit(spawned.pid, 300), out};
}

int stopDuringStart(const std::vector<std::string>& args, std::chrono::microseconds delay)
{
    const Spawned spawned = spawnServer(args, -1);
    std::this_thread::sleep_for(delay);
    ::kill(spawned.pid, SIGTERM);
    const int status = waitExit(spawned.pid, 500);
    ::close(spawned.out);
    return status;
}

RawConnection::RawConnection(int port, const char* from) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &address.sin_addr);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("bind");
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect");
}

RawConnection::~RawConnection()
{
    ::close(m_fd);
}

bool RawConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string RawConnection::receive(std::chrono::milliseconds timeout)
{
    return readAll(m_fd, static_cast<int>(timeout.count()), false);
}

int statusOf(const std::string& answer)
{
    return answer.starts_with("HTTP/1.1 ") ? std::atoi(answer.c_str() + 9) : 0;
}

Reply post(httplib::Client& client, const char* path, const json& body)
{
    return postRaw(client, path, body.dump(), "application/json");
}

Reply postRaw(httplib::Client& client, const char* path, const std::string& body,
              const std::string& contentType)
{
    return toReply(client.Post(path, body, contentType));
}

std::string registerUser(httplib::Client& client, const std::string& name,
                         const std::string& password)
{
    const Reply reply = post(client, kAuth,
                             {{"action", "register"},
                              {"username", name},
                              {"email", name + "@example.com"},
                              {"password", password}});
    EXPECT_TRUE(reply.ok()) << reply.raw;
    return reply.ok() ? reply.body["token"].get<std::string>() : std::string();
}

std::string uploadForm(const std::string& boundary, const std::string& token,
                       const std::string& captureType, const std::string& fileName,
                       const std::string& bytes)
{
    const std::string crlf = "\r\n";
    const auto field = [&](const std::string& name, const std::string& value) {
        return "--" + boundary + crlf + "Content-Disposition: form-data; name=\"" + name + "\"" +
               crlf + crlf + value + crlf;
    };
    // Like the client, escape what would end the header parameter early.
    std::string quoted;
    for (const char c : fileName)
        quoted += c == '"' ? "%22" : c == '\r' ? "%0D" : c == '\n' ? "%0A" : std::string(1, c);
    return field("token", token) + field("action", "upload") + field("capture_type", captureType) +
           field("original_filename", fileName) + "--" + boundary + crlf +
           "Content-Disposition: form-data; name=\"file\"; filename=\"" + quoted + "\"" + crlf +
           "Content-Type: image/png" + crlf + crlf + bytes + crlf + "--" + boundary + "--" + crlf;
}

Reply upload(httplib::Client& client, const std::string& token, const std::string& bytes,
             const std::string& fileName, const std::string& captureType)
{
    const std::string boundary = "7D1C4E2A-93B5-4F0E-8A61-2C9D7E3B5F10";
    return postRaw(client, kSync, uploadForm(boundary, token, captureType, fileName, bytes),
                   "multipart/form-data; boundary=" + boundary);
}

Reply download(httplib::Client& client, const std::string& token, std::int64_t id)
{
    const std::string target =
        std::string(kSync) + "?action=download&token=" + token + "&id=" + std::to_string(id);
    return toReply(client.Get(target));
}

json listing(httplib::Client& client, const std::string& token)
{
    const Reply reply = post(client, kSync, {{"action", "list"}, {"token", token}});
    EXPECT_TRUE(reply.ok()) << reply.raw;
    return reply.ok() ? reply.body["screenshots"] : json::array();
}

std::string fakePng(int seed, std::size_t size)
{
    std::string bytes = "\x89PNG\r\n\x1a\n";
    std::mt19937 random(static_cast<unsigned>(seed));
    while (bytes.size() < size)
        bytes += static_cast<char>(random() & 0xFF);
    return bytes;
}

std::vector<fs::path> filesUnder(const fs::path& dir)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    return files;
}

bool S3StandIn::available()
{
    return std::system("node -e 'process.exit(parseInt(process.versions.node) >= 20 ? 0 : 1)'") ==
               0 &&
           fs::exists(fs::path(GLIMRA_SERVER_S3_STAND_IN).parent_path() / "node_modules");
}

S3StandIn::S3StandIn()
{
    // The servers started from here inherit the key pair; it never goes on a command line.
    ::setenv("AWS_ACCESS_KEY_ID", "GLIMRATESTKEY", 1);
    ::setenv("AWS_SECRET_ACCESS_KEY", "glimra-test-secret", 1);
    ::setenv("NODE_OPTIONS", "--openssl-legacy-provider", 1);
    int lifeline[2];
    if (::pipe2(lifeline, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const Spawned spawned =
        spawn({"node", GLIMRA_SERVER_S3_STAND_IN, m_dir.path().string(), "glimra-test",
               "GLIMRATESTKEY", "glimra-test-secret", "--exit-with-stdin"},
              lifeline[0]);
    ::close(lifeline[0]);
    m_lifeline = lifeline[1];
    m_pid = spawned.pid;
    const std::string line = readAll(spawned.out, 20'000, true);
    ::close(spawned.out);
    if (line.find("listening on ") == std::string::npos) {
        stop();
        throw std::runtime_error("the S3 stand-in did not start: " + line);
    }
    m_port = std::stoi(line.substr(line.find("on ") + 3));
}

void S3StandIn::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_lifeline >= 0)
        ::close(m_lifeline);
    m_lifeline = -1;
    m_pid = -1;
}

std::string S3StandIn::storageUrl() const
{
    return "s3://glimra-test?endpoint=http://127.0.0.1:" + std::to_string(m_port) +
           "&region=eu-central-1";
}

std::vector<std::string> S3StandIn::keys() const
{
    // The stand-in keeps each object as a file named after its key.
    std::vector<std::string> keys;
    const fs::path bucket = m_dir.path() / "glimra-test";
    for (const fs::path& file : filesUnder(bucket)) {
        const std::string name = file.lexically_relative(bucket).string();
        if (name.ends_with("._S3rver_object"))
            keys.push_back(name.substr(0, name.size() - 15));
    }
    return keys;
}

} // namespace glimra::server::test
