// SPDX-License-Identifier: GPL-3.0-or-later
#include "Validation.h"
#include "TrustedProxies.h"

#include <gtest/gtest.h>

using namespace glimra::server;
using namespace std::string_literals;

TEST(Validation, everyClientFieldGetsAClearMessage)
{
    const struct {
        std::optional<std::string> (*check)(std::string_view);
        std::string value;
        const char* error; // nullptr: accepted
    } cases[] = {
        {usernameError, "Alice_1.b-c", nullptr},
        {usernameError, "al", "3 to 32"},
        {usernameError, std::string(33, 'a'), "3 to 32"},
        {usernameError, "_alice", "start with a letter"},
        {usernameError, "al/ice", "only letters"},
        {emailError, "first.last+tag@mail.example.co.uk", nullptr},
        {emailError, "no-at.example.com", "valid email"},
        {emailError, "a@b@example.com", "valid email"},
        {emailError, "a@localhost", "valid email"},
        {emailError, "a@example..com", "valid email"},
        {emailError, "a@-example.com", "valid email"},
        {emailError, "a\n@example.com", "valid email"},
        {passwordError, "12345678", nullptr},
        {passwordError, "1234567", "at least 8"},
        // Seven characters that take more than eight bytes are still too short.
        {passwordError, "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", "at least 8"},
        {passwordError, std::string(1025, 'x'), "at most 1024"},
        {originalFilenameError, "../../etc/passwd", nullptr}, // stored, never used as a path
        {originalFilenameError, "", "Invalid file name"},
        {originalFilenameError, "a\0b.png"s, "Invalid file name"},
        {originalFilenameError, "\xC0\xAF.png", "Invalid file name"},     // overlong '/'
        {originalFilenameError, "\xED\xA0\x80.png", "Invalid file name"}, // a surrogate
        {originalFilenameError, "\xF0\x9F\x93\xB7.png", nullptr},
        {originalFilenameError, "cut\xE2\x82", "Invalid file name"},
        {captureTypeError, "", nullptr},
        {captureTypeError, "window\r\nX: y", "Invalid capture type"},
    };
    for (const auto& c : cases) {
        const auto error = c.check(c.value);
        if (!c.error) {
            EXPECT_FALSE(error) << c.value << ": " << error.value_or("");
        } else {
            ASSERT_TRUE(error) << c.value;
            EXPECT_NE(error->find(c.error), std::string::npos) << *error;
        }
    }
    EXPECT_EQ(usernameKey("ALICE.b"), usernameKey("alice.B"));
}

TEST(Validation, onlyImageSignaturesPassAndNoNameBreaksAHeader)
{
    // The accepted kinds go through the real server in the round-trip test.
    for (const std::string& head : {"RIFF\x24\0\0\0WAVEfmt "s, "\x89PNG\r\n"s, "<svg"s, ""s})
        EXPECT_FALSE(sniffImage(head)) << head;
    EXPECT_EQ(mediaTypeForExtension("webp"), "image/webp");
    // Names stored before line breaks were refused must still not break out of the header.
    EXPECT_EQ(contentDisposition("x\"\r\nSet-Cookie: a=b"),
              "attachment; filename=\"x___Set-Cookie: a=b\"; "
              "filename*=UTF-8''x%22%0D%0ASet-Cookie%3A%20a%3Db");
}

TEST(Validation, failedLoginsAreCountedPerNetwork)
{
    const struct {
        const char* address;
        const char* key;
    } cases[] = {
        {"203.0.113.9", "203.0.113.9"},
        {"::ffff:203.0.113.9", "203.0.113.9"},
        {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
        {"::1", "::/64"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(addressKey(c.address), c.key) << c.address;
}

TEST(Validation, onlyTrustedProxiesNameTheClientAndOnlyByAnAddress)
{
    for (const char* bad : {"", "10.0.0.0/33", "fd00::/129", "10.0.0.1/", "proxy.internal",
                            "10.0.0.1,,10.0.0.2", "10.0.0.0/8x"})
        EXPECT_FALSE(TrustedProxies::parse(bad)) << bad;
    const auto proxies = TrustedProxies::parse("127.0.0.1, 10.0.0.0/8,fd00::/8");
    ASSERT_TRUE(proxies);
    EXPECT_TRUE(proxies->contains("10.200.3.4") && proxies->contains("::ffff:127.0.0.1") &&
                proxies->contains("fd12::1"));
    EXPECT_FALSE(proxies->contains("11.0.0.1") || proxies->contains("127.0.0.2") ||
                 proxies->contains("fe80::1") || proxies->contains("garbage"));

    const struct {
        const char* forwardedFor;
        const char* client;
    } cases[] = {
        {"", "127.0.0.1"},
        {"203.0.113.9", "203.0.113.9"},
        // The client wrote the left part itself: only the hops the proxies added count.
        {"198.51.100.7, 203.0.113.9", "203.0.113.9"},
        {"203.0.113.9, 10.1.2.3", "203.0.113.9"},
        {"203.0.113.9:5678,[2001:db8::5]:443", "2001:db8::5"},
        {"10.1.1.1, 10.2.2.2", "10.1.1.1"},
        {"203.0.113.9, unknown", "127.0.0.1"},
        {"203.0.113.9, unknown, 10.9.9.9", "10.9.9.9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(proxies->client("127.0.0.1", c.forwardedFor), c.client) << c.forwardedFor;
}
