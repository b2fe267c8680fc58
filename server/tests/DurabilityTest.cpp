// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

using namespace glimra::server::test;
using namespace std::chrono_literals;

namespace {

// Every record listed can be downloaded, with the bytes uploaded under its name.
void expectEveryRecordServed(httplib::Client& client, const std::string& token,
                             const std::map<std::string, std::string>& bytesByName)
{
    for (const json& record : listing(client, token)) {
        const std::string name = record["original_filename"];
        const Reply got = download(client, token, record["id"]);
        EXPECT_EQ(got.status, 200) << name;
        const auto expected = bytesByName.find(name);
        ASSERT_NE(expected, bytesByName.end()) << name;
        EXPECT_TRUE(got.raw == expected->second) << name;
    }
}

// Uploads named files as alice on a fresh server in `dir`, which then stops as it was told.
std::string seed(const TempDir& dir, std::map<std::string, std::string>& uploaded, int signal)
{
    ServerProcess server(dir.path());
    auto client = server.client();
    const std::string token = registerUser(client, "alice");
    for (const auto& [name, bytes] : uploaded)
        EXPECT_TRUE(upload(client, token, bytes, name).ok()) << name;
    EXPECT_EQ(server.stop(signal), signal == SIGTERM ? 0 : 128 + signal);
    return token;
}

} // namespace

TEST(Durability, killDuringABurstOfUploadsLosesNothingCommitted)
{
    TempDir dir;
    auto server = std::make_unique<ServerProcess>(dir.path());
    std::string token;
    {
        auto client = server->client();
        token = registerUser(client, "alice");
    }
    std::mutex mutex;
    std::map<std::string, std::string> sent;          // every upload started
    std::map<std::string, std::int64_t> acknowledged; // name -> id the server confirmed
    std::atomic<int> next{0};
    std::vector<std::thread> uploaders;
    for (int t = 0; t < 4; ++t) {
        uploaders.emplace_back([&] {
            auto client = server->client();
            for (;;) {
                const int seed = next++;
                const std::string name = "burst-" + std::to_string(seed) + ".png";
                const std::string bytes = fakePng(seed, 48 * 1024);
                {
                    std::lock_guard lock(mutex);
                    sent[name] = bytes;
                }
                const Reply reply = upload(client, token, bytes, name);
                if (!reply.ok())
                    return; // the server is gone
                std::lock_guard lock(mutex);
                acknowledged[name] = reply.body["screenshot"]["id"];
            }
        });
    }
    for (int waited = 0; waited < 200; ++waited) {
        {
            std::lock_guard lock(mutex);
            if (acknowledged.size() >= 40)
                break;
        }
        std::this_thread::sleep_for(50ms);
    }
    server->stop(SIGKILL);
    for (auto& t : uploaders)
        t.join();
    ASSERT_GE(acknowledged.size(), 40u);

    server = std::make_unique<ServerProcess>(dir.path());
    auto client = server->client();
    const json list = listing(client, token);
    std::map<std::string, std::int64_t> listed;
    for (const json& record : list)
        listed[record["original_filename"]] = record["id"];
    for (const auto& [name, id] : acknowledged)
        EXPECT_EQ(listed[name], id) << name << " was confirmed but is gone";
    expectEveryRecordServed(client, token, sent);
    EXPECT_TRUE(filesUnder(dir.path() / "tmp").empty());
    if (onBucket()) // what was put but never committed waits for the sweeper
        runServerCommand({"sweep", "--grace", "0", "--data", dir.path().string()});
    EXPECT_EQ(storedObjects(dir.path()).size(), list.size()) << "no file without record";
}

TEST(Durability, sigtermLetsAnUploadInProgressFinish)
{
    TempDir dir;
    auto server = std::make_unique<ServerProcess>(dir.path());
    auto client = server->client();
    const std::string token = registerUser(client, "alice");
    const std::string body = uploadForm("B", token, "window", "late.png", fakePng(1, 256 * 1024));
    RawConnection raw(server->port());
    raw.send(std::string("POST ") + kSync +
             " HTTP/1.1\r\nHost: t\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nContent-Type: multipart/form-data; boundary=B\r\n\r\n" +
             body.substr(0, body.size() / 2));
    std::this_thread::sleep_for(300ms);
    ::kill(server->pid(), SIGTERM);
    std::this_thread::sleep_for(300ms);
    raw.send(body.substr(body.size() / 2));
    const std::string answer = raw.receive(5s);
    EXPECT_NE(answer.find("\"success\":true"), std::string::npos) << answer;
    EXPECT_EQ(server->stop(0), 0) << "a stopped server exits with status 0";
    server = std::make_unique<ServerProcess>(dir.path());
    auto again = server->client();
    ASSERT_EQ(listing(again, token).size(), 1u);
}

TEST(Durability, startNeverDeletesOnAGuessAndOneServerOwnsTheData)
{
    if (onBucket())
        GTEST_SKIP() << "a bucket is checked by the sweeper, not at start";
    TempDir dir;
    const std::string data = dir.path().string();
    std::map<std::string, std::string> uploaded{
        {"kept.png", fakePng(1)}, {"lost.png", fakePng(2)}, {"other.png", fakePng(3)}};
    const std::string token = seed(dir, uploaded, SIGKILL);
    const fs::path blobs = dir.path() / "blobs";
    // An unmounted disk: refused, and nothing is dropped while it is away.
    fs::rename(blobs, dir.path() / "away");
    EXPECT_EQ(runServerCommand({"--listen", "127.0.0.1:0", "--data", data}).status, 1);
    fs::rename(dir.path() / "away", blobs);

    // What a crash or a careless hand can leave behind.
    std::ofstream(dir.path() / "tmp" / "upload-a1b2c3") << "half an upload";
    std::ofstream(blobs / "1" / (std::string(64, 'e') + ".png")) << "stray";
    for (const fs::path& file : filesUnder(blobs)) {
        std::ifstream in(file, std::ios::binary);
        if (std::string(std::istreambuf_iterator<char>(in), {}) == uploaded["lost.png"])
            fs::remove(file);
    }
    const RunResult checked = runServerCommand({"check", "--data", data});
    EXPECT_EQ(checked.status, 1);
    for (const char* line : {"record without file: blobs/1/", "file without record: blobs/1/eee",
                             "temporary: tmp/upload-a1b2c3"})
        EXPECT_NE(checked.out.find(line), std::string::npos) << line << " in " << checked.out;

    ServerProcess server(dir.path());
    auto client = server.client();
    const Reply valid = post(client, kAuth, {{"action", "validate"}, {"token", token}});
    EXPECT_EQ(valid.body["user"]["screenshot_count"], 3) << "a record without its file is kept";
    EXPECT_EQ(download(client, token, 1).status, 200);
    EXPECT_TRUE(filesUnder(dir.path() / "tmp").empty());
    EXPECT_EQ(filesUnder(dir.path() / "quarantine").size(), 1u);
    const std::string port = "127.0.0.1:" + std::to_string(server.port());
    TempDir other;
    const struct {
        std::vector<std::string> args;
    } refused[] = {{{"--listen", "127.0.0.1:0", "--data", data}},
                   {{"--listen", port, "--data", other.path().string()}},
                   {{"check", "--repair", "--data", data}}};
    for (const auto& r : refused)
        EXPECT_EQ(runServerCommand(r.args).status, 1) << r.args[0] << ' ' << r.args[1];
    EXPECT_EQ(listing(client, token).size(), 3u);
}

TEST(Durability, racingUploadsAndDeletesOfTheSameBytesNeverLoseTheFile)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--threads", "8"});
    std::string token;
    {
        auto client = server.client();
        token = registerUser(client, "alice");
    }
    const std::string bytes = fakePng(42, 32 * 1024);
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            auto client = server.client();
            for (int i = 0; i < 15; ++i) {
                const Reply up = upload(client, token, bytes, "same.png");
                if (!up.ok()) {
                    ++failures;
                    continue;
                }
                // Half the workers keep what they upload, so the file is always needed.
                if (t % 2 == 0 && !post(client, kSync,
                                        {{"action", "delete"},
                                         {"token", token},
                                         {"screenshot_id", up.body["screenshot"]["id"]}})
                                       .ok())
                    ++failures;
            }
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(failures, 0);
    auto client = server.client();
    EXPECT_EQ(listing(client, token).size(), 30u);
    expectEveryRecordServed(client, token, {{"same.png", bytes}});
    EXPECT_EQ(storedObjects(dir.path()).size(), 1u);
}

TEST(Durability, aFullDiskRefusesUploadsButDeletesAndLoginsGoOn)
{
    TempDir dir;
    if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=24m") != 0)
        GTEST_SKIP() << "needs to mount a small tmpfs (root)";
    struct Unmount {
        const fs::path& path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{dir.path()};
    ServerProcess server(dir.path());
    auto client = server.client();
    const std::string token = registerUser(client, "alice");
    const Reply first = upload(client, token, fakePng(1, 1 << 20));
    ASSERT_TRUE(first.ok()) << first.raw;
    {
        // Something else takes every byte left.
        std::ofstream filler(dir.path() / "filler", std::ios::binary);
        const std::string block(1 << 16, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    const Reply refused = upload(client, token, fakePng(2, 1 << 20));
    EXPECT_EQ(refused.status, 507);
    EXPECT_EQ(refused.error(), "The server's disk is full");
    EXPECT_TRUE(post(client, kAuth,
                     {{"action", "login"}, {"username", "alice"}, {"password", "correct horse"}})
                    .ok());
    EXPECT_TRUE(post(client, kSync,
                     {{"action", "delete"},
                      {"token", token},
                      {"screenshot_id", first.body["screenshot"]["id"]}})
                    .ok());
    EXPECT_TRUE(listing(client, token).empty());
}
