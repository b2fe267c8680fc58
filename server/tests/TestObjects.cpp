// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace glimra::server::test {

namespace {

constexpr const char* kBucket = "glimra-test";
constexpr const char* kObjectSuffix = "._S3rver_object";

} // namespace

bool S3StandIn::available()
{
    return std::system("node -e 'process.exit(parseInt(process.versions.node) >= 20 ? 0 : 1)' "
                       ">/dev/null 2>&1") == 0 &&
           fs::exists(fs::path(GLIMRA_SERVER_S3_STAND_IN).parent_path() / "node_modules");
}

S3StandIn::S3StandIn()
{
    // The servers started from here inherit the key pair; it never goes on a command line.
    ::setenv("AWS_ACCESS_KEY_ID", "GLIMRATESTKEY", 1);
    ::setenv("AWS_SECRET_ACCESS_KEY", "glimra-test-secret", 1);
    ::setenv("NODE_OPTIONS", "--openssl-legacy-provider", 1);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<std::string> args{"node",  GLIMRA_SERVER_S3_STAND_IN, m_dir.path().string(),
                                  kBucket, "GLIMRATESTKEY",           "glimra-test-secret"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&m_pid, "node", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string line;
    pollfd p{pipeFds[0], POLLIN, 0};
    while (rc == 0 && line.find('\n') == std::string::npos && ::poll(&p, 1, 20'000) > 0) {
        char buffer[256];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    const std::size_t at = line.find("listening on ");
    if (rc != 0 || at == std::string::npos) {
        stop();
        throw std::runtime_error("the S3 stand-in did not start: " + line);
    }
    m_port = std::stoi(line.substr(at + 13));
}

S3StandIn::~S3StandIn()
{
    stop();
}

void S3StandIn::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

std::string S3StandIn::storageUrl() const
{
    return std::string("s3://") + kBucket + "?endpoint=http://127.0.0.1:" + std::to_string(m_port) +
           "&region=eu-central-1";
}

std::vector<std::string> S3StandIn::keys() const
{
    std::vector<std::string> keys;
    const fs::path bucket = m_dir.path() / kBucket;
    for (const fs::path& file : filesUnder(bucket)) {
        const std::string name = file.lexically_relative(bucket).string();
        if (name.ends_with(kObjectSuffix))
            keys.push_back(name.substr(0, name.size() - std::string_view(kObjectSuffix).size()));
    }
    return keys;
}

} // namespace glimra::server::test
