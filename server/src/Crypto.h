// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>

struct evp_md_ctx_st; // OpenSSL's EVP_MD_CTX

namespace glimra::server {

// Call once before anything below; false means no usable random source.
bool initCrypto();

// Argon2id hashes through libsodium. Each one takes 64 MiB for a fifth of a second, so only
// a few run at once: a burst of logins waits its turn instead of exhausting memory.
class PasswordHasher {
public:
    PasswordHasher() = default;
    PasswordHasher(const PasswordHasher&) = delete;
    PasswordHasher& operator=(const PasswordHasher&) = delete;

    std::string hash(std::string_view password);
    bool verify(const std::string& stored, std::string_view password);
    // Spends the time of a verification, so an unknown user name answers no faster than a
    // known one with a wrong password.
    void spendVerification(std::string_view password);

private:
    std::counting_semaphore<8> m_gate{2};
    std::once_flag m_dummyOnce;
    std::string m_dummy;
};

// 256 random bits as 64 hexadecimal digits.
std::string newToken();
// 128 random bits as 22 characters of URL-safe base64: the name of a share link.
std::string newLinkId();
// What is stored in place of a token: its SHA-256, hexadecimal.
std::string tokenDigest(std::string_view token);

// Through OpenSSL, which uses the processor's SHA instructions where it has them: every
// uploaded byte passes through here, at several times the speed of a portable implementation.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&& other) noexcept;
    Sha256& operator=(Sha256&& other) noexcept;
    void update(const char* data, std::size_t size);
    std::string hexDigest(); // ends the computation

private:
    ::evp_md_ctx_st* m_context;
};

std::string toHex(const unsigned char* data, std::size_t size);

} // namespace glimra::server
