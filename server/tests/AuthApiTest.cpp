// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <thread>

using namespace glimra::server::test;

namespace {

struct Case {
    const char* what;
    json request; // a JSON body, or a string sent as it is
    int status;
    const char* error; // nullptr: success expected
};

void runCases(httplib::Client& client, const char* path, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        const Reply reply =
            c.request.is_string()
                ? postRaw(client, path, c.request.get<std::string>(), "application/json")
                : post(client, path, c.request);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.raw;
        // The client reads only the body: every answer must say success or error in it.
        ASSERT_TRUE(reply.body.is_object()) << c.what << ": " << reply.raw;
        ASSERT_TRUE(reply.body.contains("success")) << c.what;
        if (c.error) {
            EXPECT_FALSE(reply.ok()) << c.what;
            EXPECT_EQ(reply.error(), c.error) << c.what;
        } else {
            EXPECT_TRUE(reply.ok()) << c.what << ": " << reply.raw;
        }
    }
}

json reg(const std::string& name, const std::string& email, const std::string& password)
{
    return {{"action", "register"}, {"username", name}, {"email", email}, {"password", password}};
}

json login(const std::string& name, const std::string& password)
{
    return {{"action", "login"}, {"username", name}, {"password", password}};
}

} // namespace

TEST(AuthApi, everyAccountOperationAndItsErrors)
{
    TempDir dir;
    ServerProcess server(dir.path());
    auto client = server.client();
    const Reply first = post(client, kAuth, reg("Alice", "alice@example.com", "correct horse"));
    ASSERT_TRUE(first.ok()) << first.raw;
    const std::string token = first.body["token"];
    EXPECT_EQ(token.size(), 64u);
    const std::string second = post(client, kAuth, login("alice", "correct horse")).body["token"];
    EXPECT_EQ(first.body["user"], (json{{"id", 1},
                                        {"username", "Alice"},
                                        {"email", "alice@example.com"},
                                        {"screenshot_count", 0},
                                        {"storage_used_bytes", 0}}));

    runCases(
        client, kAuth,
        {
            {"same name, other case", reg("ALICE", "a2@example.com", "correct horse"), 409,
             "Username already taken"},
            {"short name", reg("al", "a@example.com", "correct horse"), 400,
             "Username must be 3 to 32 characters long"},
            {"missing email",
             {{"action", "register"}, {"username", "x"}, {"password", "y"}},
             400,
             "Username, email and password are required"},
            {"login", login("alice", "correct horse"), 200, nullptr},
            {"wrong password", login("Alice", "wrong horse"), 401, "Invalid username or password"},
            {"unknown user", login("nobody", "correct horse"), 401, "Invalid username or password"},
            {"login without password",
             {{"action", "login"}, {"username", "alice"}},
             400,
             "Username and password are required"},
            {"password of the wrong type",
             {{"action", "login"}, {"username", "alice"}, {"password", 12345678}},
             400,
             "Username and password are required"},
            {"validate", {{"action", "validate"}, {"token", token}}, 200, nullptr},
            {"validate a forged token",
             {{"action", "validate"}, {"token", std::string(64, 'a')}},
             401,
             "Invalid or expired token"},
            {"validate without token", {{"action", "validate"}}, 401, "Invalid or expired token"},
            {"logout", {{"action", "logout"}, {"token", second}}, 200, nullptr},
            {"validate after logout",
             {{"action", "validate"}, {"token", second}},
             401,
             "Invalid or expired token"},
            {"the other session stays", {{"action", "validate"}, {"token", token}}, 200, nullptr},
            {"unknown action", {{"action", "drop"}}, 400, "Unknown action"},
            {"no action", json::object(), 400, "Unknown action"},
            {"not JSON", "<html>", 400, "Invalid JSON"},
            {"a JSON array", "[1,2]", 400, "Invalid JSON"},
            {"truncated JSON", "{\"action\":\"login\"", 400, "Invalid JSON"},
            {"too large", json(std::string(70'000, ' ') + "{}"), 413, "Request too large"},
        });

    // Whatever else reaches the server gets the same body shape.
    const auto other = client.Get("/glimra/api/nothing.php");
    ASSERT_TRUE(other);
    EXPECT_EQ(json::parse(other->body), (json{{"success", false}, {"error", "Not found"}}));
    const Reply form = postRaw(
        client, kAuth, "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--b--\r\n",
        "multipart/form-data; boundary=b");
    EXPECT_EQ(form.error(), "Invalid request: expected a JSON body");
}

TEST(AuthApi, closedRegistrationStillLetsTheOwnerAddUsers)
{
    TempDir dir;
    const std::string data = dir.path().string();
    {
        ServerProcess server(dir.path(), {"--registration", "closed"});
        auto client = server.client();
        const Reply refused = post(client, kAuth, reg("eve", "eve@example.com", "correct horse"));
        EXPECT_EQ(refused.error(), "Registration is closed on this server");

        // The database is shared with the running server.
        const RunResult added = runServerCommand(
            {"add-user", "Dave", "dave@example.com", "--data", data}, "long enough secret\n");
        EXPECT_EQ(added.status, 0) << added.out;
        const Reply signedIn = post(client, kAuth, login("dave", "long enough secret"));
        ASSERT_TRUE(signedIn.ok()) << signedIn.raw;
        EXPECT_EQ(signedIn.body["user"]["username"], "Dave");
    }
    const struct {
        std::vector<std::string> args;
        std::string input;
        int status;
    } commands[] = {
        {{"add-user", "dave", "d2@example.com", "--data", data}, "another secret\n", 1},
        {{"add-user", "frank", "f@example.com", "--data", data}, "a\r\nlonger secret", 1},
        {{"--listen", "nowhere"}, "", 2},
        {{"--help"}, "", 0},
    };
    for (const auto& c : commands) {
        const RunResult run = runServerCommand(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << c.args[0] << ' ' << c.input << run.out;
    }
    EXPECT_NE(runServerCommand({"--help"}).out.find("--max-upload"), std::string::npos);
}

TEST(AuthApi, tokensExpireAfterTheirLifetime)
{
    TempDir dir;
    // Long enough that a loaded machine still validates the fresh token in time.
    ServerProcess server(dir.path(), {"--token-lifetime", "5s"});
    auto client = server.client();
    const std::string token = registerUser(client, "alice");
    EXPECT_TRUE(post(client, kAuth, {{"action", "validate"}, {"token", token}}).ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(5200));
    EXPECT_FALSE(post(client, kAuth, {{"action", "validate"}, {"token", token}}).ok());
    EXPECT_EQ(post(client, kSync, {{"action", "list"}, {"token", token}}).error(), "Unauthorized");
}

TEST(AuthApi, servesHttpsWithTheGivenCertificate)
{
    TempDir dir;
    ServerProcess server(dir.path(), {"--tls-cert", GLIMRA_SERVER_TEST_DATA "/server.pem",
                                      "--tls-key", GLIMRA_SERVER_TEST_DATA "/server.key"});
    httplib::SSLClient client("127.0.0.1", server.port());
    client.set_ca_cert_path(GLIMRA_SERVER_TEST_DATA "/server.pem");
    client.enable_server_certificate_verification(true);
    const auto result = client.Post(kAuth, reg("alice", "a@example.com", "correct horse").dump(),
                                    "application/json");
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(json::parse(result->body)["success"], true);
}
