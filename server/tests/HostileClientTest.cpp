// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <future>

using namespace glimra::server::test;
using namespace std::chrono_literals;

namespace {

std::string formHead(std::uint64_t length)
{
    return std::string("POST ") + kSync + " HTTP/1.1\r\nHost: t\r\n" +
           "Content-Type: multipart/form-data; boundary=B\r\nContent-Length: " +
           std::to_string(length) + "\r\n\r\n";
}

std::string field(const std::string& name, const std::string& value)
{
    return "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

TEST(HostileClients, slowIdleAndManyConnectionsDoNotHoldUpOthers)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--threads", "4"});
    auto client = server.client();
    const std::string token = registerUser(client, "alice");
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<RawConnection>(server.port()));
        // Half send a header that never ends; half finish a request and stay open.
        held.back()->send(
            i % 2 ? std::string("POST /glimra/api/auth.php HTTP/1.1\r\nHost: t\r\n")
                  : jsonRequest(kAuth, {{"action", "validate"}, {"token", token}}, "keep-alive"));
    }
    std::vector<std::unique_ptr<RawConnection>> burst;
    for (int i = 0; i < 40; ++i) {
        burst.push_back(std::make_unique<RawConnection>(server.port()));
        burst.back()->send(jsonRequest(kSync, {{"action", "list"}, {"token", token}}));
    }
    for (const auto& c : burst)
        EXPECT_EQ(statusOf(c->receive(5s)), 200);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(post(client, kSync, {{"action", "list"}, {"token", token}}).ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(HostileClients, oversizedAndMisorderedRequestsAreRefusedBeforeTheyAreRead)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--max-upload", "1M"});
    auto client = server.client();
    const std::string token = registerUser(client, "alice");
    std::string flood = "GET /healthz HTTP/1.1\r\n", many = flood;
    for (int i = 0; i < 4000; ++i)
        flood += "X-Flood: " + std::string(8000, 'x') + "\r\n";
    for (int i = 0; i < 100; ++i)
        many += "X-F" + std::to_string(i) + ": 1\r\n";
    std::string fields;
    for (int i = 0; i < 2000; ++i)
        fields += field("a", std::string(4000, 'a'));
    const std::string fileFirst = "--B\r\nContent-Disposition: form-data; name=\"file\"; "
                                  "filename=\"a.png\"\r\n\r\n" +
                                  fakePng(1, 512 * 1024);
    const struct {
        const char* what;
        std::string sent; // only the start of a longer request, unless it ends in CRLF CRLF
        int status;
    } cases[] = {
        {"32 MB of header lines", flood, 431},
        {"100 header fields", many + "\r\n", 431},
        {"Content-Length of 1 TB", formHead(1ull << 40), 413},
        {"negative Content-Length",
         std::string("POST ") + kSync + " HTTP/1.1\r\nHost: t\r\nContent-Length: -5\r\n\r\n", 400},
        {"a file before the token", formHead(1 << 20) + fileFirst, 401},
        {"fields without a token", formHead(1 << 20) + fields, 400},
        {"too much text in fields",
         formHead(1 << 20) + field("token", token) + field("action", std::string(4000, 'u')) +
             field("capture_type", std::string(4000, 'c')) +
             field("original_filename", std::string(4000, 'o')),
         400},
    };
    for (const auto& c : cases) {
        RawConnection raw(server.port());
        raw.send(c.sent);
        const std::string answer = raw.receive(3s);
        EXPECT_EQ(statusOf(answer), c.status) << c.what << ": " << answer.substr(0, 200);
        EXPECT_TRUE(filesUnder(dir.path() / "tmp").empty()) << c.what;
    }
    EXPECT_TRUE(post(client, kSync, {{"action", "list"}, {"token", token}}).ok());
}

TEST(HostileClients, sigtermEndsTheServerAtAnyMomentWithinTheDrainTime)
{
    TempDir dir;
    for (int delay : {0, 2000, 5000, 10'000, 20'000}) {
        const int status =
            stopDuringStart({"--listen", "127.0.0.1:0", "--data", dir.path().string()},
                            std::chrono::microseconds(delay));
        // Before main() takes the signal, its default action ends the process just as well.
        EXPECT_TRUE(status == 0 || status == 128 + SIGTERM) << status << " after " << delay;
    }
    ServerProcess server(dir.path());
    RawConnection trickler(server.port());
    trickler.send("POST /glimra/api/auth.php HTTP/1.1\r\nHost: t\r\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.stop(SIGTERM), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

TEST(HostileClients, guessesStopAtTheLimitsPerNameAndAddressButSpareTheOwnersAddress)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--login-limit-user", "10", "--login-limit-address", "15"});
    auto client = server.client();
    registerUser(client, "alice");
    registerUser(client, "bob");
    // The answer's status, and its Retry-After when there is one.
    const auto login = [&](const char* from, const char* name, const char* password) {
        const std::string answer = rawLogin(server.port(), from, name, password);
        const std::size_t retry = answer.find("Retry-After: ");
        return std::pair(statusOf(answer),
                         retry == std::string::npos ? 0 : std::atoi(answer.c_str() + retry + 13));
    };
    EXPECT_EQ(login("127.0.0.1", "alice", "correct horse").first, 200);
    std::vector<std::future<std::pair<int, int>>> guesses;
    for (int i = 0; i < 100; ++i)
        guesses.push_back(
            std::async(std::launch::async, login, "127.0.0.2", i % 2 ? "ALICE" : "alice", "wrong"));
    int checked = 0;
    for (auto& g : guesses)
        checked += g.get().first == 401;
    EXPECT_EQ(checked, 10) << "each guess is counted before its password is hashed";
    const auto locked = login("127.0.0.2", "alice", "correct horse");
    EXPECT_EQ(locked.first, 429);
    EXPECT_TRUE(locked.second > 800 && locked.second <= 900) << "15 minutes from the first guess";
    EXPECT_EQ(login("127.0.0.1", "alice", "correct horse").first, 200)
        << "the owner's address has its own count";
    // Other names from the guessing address, until the address has failed 15 times.
    for (const char* name : {"bob", "carol", "dave", "erin", "frank"})
        EXPECT_EQ(login("127.0.0.2", name, "wrong").first, 401) << name;
    EXPECT_EQ(login("127.0.0.2", "bob", "correct horse").first, 429);
    EXPECT_EQ(login("127.0.0.3", "bob", "correct horse").first, 200);
}

TEST(HostileClients, behindATrustedProxyEachClientHasItsOwnLimitAndNobodyElseCanForgeOne)
{
    TempDir dir;
    ServerProcess server(dir.path(),
                         {"--login-limit-address", "3", "--login-limit-user", "100",
                          "--max-connections-per-address", "2", "--trusted-proxy", "127.0.0.1"});
    auto client = server.client();
    registerUser(client, "alice");
    const auto login = [&](const char* from, const std::string& forwardedFor, const char* pw) {
        return statusOf(rawLogin(server.port(), from, "alice", pw,
                                 "X-Forwarded-For: " + forwardedFor + "\r\n"));
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(login("127.0.0.1", "198.51.100.1, 203.0.113.5", "wrong"), 401);
    EXPECT_EQ(login("127.0.0.1", "203.0.113.5", "correct horse"), 429);
    EXPECT_EQ(login("127.0.0.1", "203.0.113.5, 127.0.0.1", "correct horse"), 429)
        << "a hop the proxy itself adds is skipped";
    EXPECT_EQ(login("127.0.0.1", "203.0.113.6", "correct horse"), 200)
        << "another client behind the same proxy is not locked out";
    // Not a trusted proxy: its header is the client's own word and changes nothing.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(login("127.0.0.2", "192.0.2." + std::to_string(i), "wrong"), 401);
    EXPECT_EQ(login("127.0.0.2", "192.0.2.77", "correct horse"), 429);
    // The proxy's connections are not capped per address; anyone else's still are.
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(std::make_unique<RawConnection>(server.port(), "127.0.0.1"));
    EXPECT_EQ(login("127.0.0.1", "203.0.113.7", "correct horse"), 200);
    for (int i = 0; i < 2; ++i)
        held.push_back(std::make_unique<RawConnection>(server.port(), "127.0.0.3"));
    EXPECT_EQ(login("127.0.0.3", "", "correct horse"), 0) << "past the cap the server closes";
}

TEST(HostileClients, theOwnersMostRecentAddressesAreTheOnesKeptOpen)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--login-limit-user", "3"});
    auto client = server.client();
    registerUser(client, "alice");
    const auto login = [&](const std::string& from, const char* password) {
        return statusOf(rawLogin(server.port(), from, "alice", password));
    };
    // Sixteen addresses are kept. The second newest sorts before all the others: it must stay
    // when a seventeenth arrives.
    for (int i = 1; i <= 15; ++i)
        ASSERT_EQ(login("127.0.1." + std::to_string(i), "correct horse"), 200);
    ASSERT_EQ(login("127.0.0.2", "correct horse"), 200);
    ASSERT_EQ(login("127.0.1.16", "correct horse"), 200);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(login("127.0.0.3", "wrong"), 401);
    EXPECT_EQ(login("127.0.0.2", "correct horse"), 200);
    EXPECT_EQ(login("127.0.1.1", "correct horse"), 429) << "the oldest made room";
}
