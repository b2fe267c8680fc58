// SPDX-License-Identifier: GPL-3.0-or-later
#include "Options.h"

#include <gtest/gtest.h>

using namespace glimra::server;
using namespace std::chrono_literals;

TEST(Options, sizesDurationsAndAddressesParseStrictly)
{
    EXPECT_EQ(parseSize("512K"), 512u * 1024);
    EXPECT_EQ(parseSize("64M"), 64u << 20);
    for (const char* bad : {"", "M", "-1", "1.5M", "12MB", "99999999999999999999G"})
        EXPECT_FALSE(parseSize(bad)) << bad;
    EXPECT_EQ(parseDuration("90"), 90s);
    EXPECT_EQ(parseDuration("30d"), std::chrono::hours(720));
    for (const char* bad : {"", "0", "d", "1w", "99999999999d"})
        EXPECT_FALSE(parseDuration(bad)) << bad;

    using Listen = std::pair<std::string, int>;
    EXPECT_EQ(parseListen(":443"), Listen("0.0.0.0", 443));
    EXPECT_EQ(parseListen("[::1]:0"), Listen("::1", 0));
    for (const char* bad : {"8787", "127.0.0.1:65536", "::1:80", "[nonsense]:80", "host:port"})
        EXPECT_FALSE(parseListen(bad)) << bad;

    EXPECT_EQ(parsePublicUrl("https://shots.example.org/glimra//"),
              "https://shots.example.org/glimra");
    for (const char* bad : {"shots.example.org", "ftp://x", "https://", "https:///x", "http://a b",
                            "https://x/?q=1", "https://x/#f", "https://x/\"s"})
        EXPECT_FALSE(parsePublicUrl(bad)) << bad;
}

TEST(Options, commandLinesResolveToWhatRuns)
{
    const struct {
        std::vector<std::string_view> args;
        Environment env;
        const char* error; // nullptr: accepted
        bool registrationOpen;
        const char* dataDir;
    } cases[] = {
        {{}, {"/xdg", "/h"}, nullptr, true, "/xdg/glimra-server"},
        {{"--listen", "[::1]:9000"},
         {nullptr, "/h"},
         nullptr,
         true,
         "/h/.local/share/glimra-server"},
        // Reachable from other machines: nobody may register unless the owner says so.
        {{"--listen", "0.0.0.0:8787"}, {"/xdg", "/h"}, nullptr, false, "/xdg/glimra-server"},
        {{"--listen", ":80", "--registration", "open"},
         {"/x", "/h"},
         nullptr,
         true,
         "/x/glimra-server"},
        {{"--registration", "closed", "--data", "/srv/g"}, {}, nullptr, false, "/srv/g"},
        // A relative XDG_DATA_HOME is invalid and must be ignored.
        {{}, {"relative", nullptr}, "No data folder", true, ""},
        {{"--registration", "maybe"}, {"/x", "/h"}, "Invalid value for --registration", true, ""},
        {{"--tls-cert", "c.pem"}, {"/x", "/h"}, "go together", true, ""},
        {{"--quota"}, {"/x", "/h"}, "needs a value", true, ""},
        {{"--verbose", "1"}, {"/x", "/h"}, "Unknown option --verbose", true, ""},
        {{"add-user", "bob"}, {"/x", "/h"}, "Unexpected argument add-user", true, ""},
    };
    for (const auto& c : cases) {
        const auto parsed = parseCommandLine(c.args, c.env);
        if (c.error) {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.error;
            EXPECT_NE(std::get<std::string>(parsed).find(c.error), std::string::npos)
                << std::get<std::string>(parsed);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << std::get<std::string>(parsed);
        EXPECT_EQ(std::get<Invocation>(parsed).options.registrationOpen, c.registrationOpen);
        EXPECT_EQ(std::get<Invocation>(parsed).options.dataDir, c.dataDir);
    }
    const auto add = std::get<Invocation>(parseCommandLine({"add-user", "bob", "b@x.org"}, {"/x"}));
    EXPECT_EQ(add.command, Command::AddUser);
    EXPECT_EQ(add.userName + " " + add.email, "bob b@x.org");
    // Asking for help never fails, whatever else is on the line.
    EXPECT_EQ(std::get<Invocation>(parseCommandLine({"--quota", "x", "--help"}, {})).command,
              Command::Help);
}
