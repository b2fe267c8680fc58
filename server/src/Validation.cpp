// SPDX-License-Identifier: GPL-3.0-or-later
#include "Validation.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace glimra::server {

namespace {

constexpr std::size_t kMaxNameBytes = 1024;

bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Counts code points; only meaningful for text that passed isValidUtf8.
std::size_t codePoints(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool hasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Marks that reorder the text around them: a name shown as "photo.png" may end in ".exe".
bool hasBidiControl(std::string_view text)
{
    using namespace std::string_view_literals;
    for (const std::string_view mark :
         {"\u200E"sv, "\u200F"sv, "\u202A"sv, "\u202B"sv, "\u202C"sv, "\u202D"sv, "\u202E"sv,
          "\u2066"sv, "\u2067"sv, "\u2068"sv, "\u2069"sv, "\u061C"sv}) {
        if (text.find(mark) != std::string_view::npos)
            return true;
    }
    return false;
}

bool isDomainLabel(std::string_view label)
{
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
        return false;
    return std::all_of(label.begin(), label.end(),
                       [](char c) { return isAsciiAlnum(c) || c == '-'; });
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (extra >= text.size() - i)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr std::array<char32_t, 4> kMinimum{0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::optional<std::string> usernameError(std::string_view name)
{
    if (name.size() < 3 || name.size() > 32)
        return "Username must be 3 to 32 characters long";
    if (!isAsciiAlnum(name.front()))
        return "Username must start with a letter or a digit";
    const bool allowed = std::all_of(name.begin(), name.end(), [](char c) {
        return isAsciiAlnum(c) || c == '.' || c == '_' || c == '-';
    });
    if (!allowed)
        return "Username may contain only letters, digits, '.', '_' and '-'";
    return std::nullopt;
}

std::optional<std::string> emailError(std::string_view email)
{
    const std::string invalid = "Please enter a valid email address";
    if (email.size() > 254 || !isValidUtf8(email) || hasControl(email) ||
        email.find(' ') != std::string_view::npos)
        return invalid;
    const std::size_t at = email.find('@');
    if (at == std::string_view::npos || at == 0 || at > 64 ||
        email.find('@', at + 1) != std::string_view::npos)
        return invalid;
    std::string_view domain = email.substr(at + 1);
    if (domain.find('.') == std::string_view::npos)
        return invalid;
    while (!domain.empty()) {
        const std::size_t dot = domain.find('.');
        if (!isDomainLabel(domain.substr(0, dot)))
            return invalid;
        if (dot == std::string_view::npos)
            break;
        domain.remove_prefix(dot + 1);
        if (domain.empty())
            return invalid;
    }
    return std::nullopt;
}

std::optional<std::string> passwordError(std::string_view password)
{
    if (!isValidUtf8(password) || codePoints(password) < 8)
        return "Password must be at least 8 characters long";
    if (password.size() > kMaxNameBytes)
        return "Password must be at most 1024 bytes long";
    return std::nullopt;
}

std::optional<std::string> originalFilenameError(std::string_view name)
{
    // Kept exactly as sent and never used as a path here; but it is shown to people, where
    // control characters and reordering marks would disguise it.
    if (name.empty() || name.size() > kMaxNameBytes || !isValidUtf8(name) || hasControl(name) ||
        hasBidiControl(name))
        return "Invalid file name";
    return std::nullopt;
}

std::optional<std::string> captureTypeError(std::string_view type)
{
    if (type.size() > 32 || !isValidUtf8(type) || hasControl(type))
        return "Invalid capture type";
    return std::nullopt;
}

std::string usernameKey(std::string_view name)
{
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return key;
}

std::optional<ImageType> sniffImage(std::string_view head)
{
    using namespace std::string_view_literals;
    if (head.starts_with("\x89PNG\r\n\x1a\n"sv))
        return ImageType{"image/png", "png"};
    if (head.starts_with("\xFF\xD8\xFF"sv))
        return ImageType{"image/jpeg", "jpg"};
    if (head.starts_with("II*\0"sv) || head.starts_with("MM\0*"sv))
        return ImageType{"image/tiff", "tiff"};
    if (head.size() >= 12 && head.starts_with("RIFF"sv) && head.substr(8, 4) == "WEBP"sv)
        return ImageType{"image/webp", "webp"};
    return std::nullopt;
}

std::string_view mediaTypeForExtension(std::string_view extension)
{
    for (const ImageType& type :
         {ImageType{"image/png", "png"}, ImageType{"image/jpeg", "jpg"},
          ImageType{"image/tiff", "tiff"}, ImageType{"image/webp", "webp"}}) {
        if (type.extension == extension)
            return type.mediaType;
    }
    return "application/octet-stream";
}

std::string contentDisposition(std::string_view fileName, std::string_view type)
{
    // The plain form: printable ASCII only, and nothing that could end the quoted string or
    // suggest a folder.
    std::string plain;
    for (const char c : fileName) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\' || c == '/' || c == '%' || c == ';')
            plain += '_';
        else
            plain += c;
    }
    while (!plain.empty() && plain.front() == '.')
        plain.erase(0, 1);
    if (plain.empty())
        plain = "screenshot";

    std::string encoded;
    for (const char c : fileName) {
        const auto u = static_cast<unsigned char>(c);
        if (isAsciiAlnum(c) || c == '.' || c == '_' || c == '-' || c == '~') {
            encoded += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            encoded += hex;
        }
    }
    return std::string(type) + "; filename=\"" + plain + "\"; filename*=UTF-8''" + encoded;
}

std::string addressKey(std::string_view remoteAddress)
{
    const std::string address(remoteAddress);
    in6_addr v6{};
    if (address.find(':') != std::string::npos && inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        // An IPv4 client seen through an IPv6 socket is still one IPv4 host.
        static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::equal(std::begin(kMapped), std::end(kMapped), v6.s6_addr)) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, v6.s6_addr + 12, text, sizeof text);
            return text;
        }
        std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
        char text[INET6_ADDRSTRLEN];
        inet_ntop(AF_INET6, &v6, text, sizeof text);
        return std::string(text) + "/64";
    }
    return address;
}

} // namespace glimra::server
