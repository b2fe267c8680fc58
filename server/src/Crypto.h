// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <semaphore>
#include <string>
#include <string_view>

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

class Sha256 {
public:
    Sha256();
    void update(const char* data, std::size_t size);
    std::string hexDigest(); // ends the computation

private:
    alignas(16) unsigned char m_state[128];
};

std::string toHex(const unsigned char* data, std::size_t size);

} // namespace glimra::server
