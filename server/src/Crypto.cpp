// SPDX-License-Identifier: GPL-3.0-or-later
#include "Crypto.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <new>
#include <utility>

namespace glimra::server {

bool initCrypto()
{
    return sodium_init() >= 0;
}

std::string PasswordHasher::hash(std::string_view password)
{
    char out[crypto_pwhash_STRBYTES];
    m_gate.acquire();
    const int rc =
        crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE);
    m_gate.release();
    if (rc != 0)
        throw std::bad_alloc(); // libsodium fails here only when it cannot get the memory
    return out;
}

bool PasswordHasher::verify(const std::string& stored, std::string_view password)
{
    m_gate.acquire();
    const int rc = crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size());
    m_gate.release();
    return rc == 0;
}

void PasswordHasher::spendVerification(std::string_view password)
{
    std::call_once(m_dummyOnce, [this] { m_dummy = hash(newToken()); });
    (void)verify(m_dummy, password);
}

std::string toHex(const unsigned char* data, std::size_t size)
{
    std::string out(size * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), data, size);
    out.pop_back();
    return out;
}

std::string newToken()
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    return toHex(bytes, sizeof bytes);
}

std::string newLinkId()
{
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char text[sodium_base64_ENCODED_LEN(sizeof bytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(text, sizeof text, bytes, sizeof bytes,
                      sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    return text;
}

std::string tokenDigest(std::string_view token)
{
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
    return toHex(digest, sizeof digest);
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    if (!m_context || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_context);
}

Sha256::Sha256(Sha256&& other) noexcept : m_context(std::exchange(other.m_context, nullptr)) {}

Sha256& Sha256::operator=(Sha256&& other) noexcept
{
    std::swap(m_context, other.m_context);
    return *this;
}

void Sha256::update(const char* data, std::size_t size)
{
    EVP_DigestUpdate(m_context, data, size);
}

std::string Sha256::hexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context, digest, &length);
    return toHex(digest, length);
}

} // namespace glimra::server
