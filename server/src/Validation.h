// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Checks on everything a client sends, kept free of I/O so they can be tested over many inputs.
namespace glimra::server {

bool isValidUtf8(std::string_view text);

// Each returns the text to show the user, or nothing when the value is acceptable.
std::optional<std::string> usernameError(std::string_view name);
std::optional<std::string> emailError(std::string_view email);
std::optional<std::string> passwordError(std::string_view password);
std::optional<std::string> originalFilenameError(std::string_view name);
std::optional<std::string> captureTypeError(std::string_view type);

// User names are unique regardless of letter case; this is the form they are compared in.
std::string usernameKey(std::string_view name);

struct ImageType {
    std::string_view mediaType;
    std::string_view extension;
};

// How many leading bytes sniffImage needs at most.
inline constexpr std::size_t kSniffBytes = 12;

// The type the bytes themselves declare; the client's file name and media type are not trusted.
std::optional<ImageType> sniffImage(std::string_view head);
std::string_view mediaTypeForExtension(std::string_view extension);

// An attachment (or inline) header whose plain file name is safe for any browser and whose
// RFC 5987 form keeps the exact name.
std::string contentDisposition(std::string_view fileName, std::string_view type = "attachment");

// Failed logins are counted per network: one host for IPv4, one /64 for IPv6, where a single
// machine usually owns the whole prefix.
std::string addressKey(std::string_view remoteAddress);

} // namespace glimra::server
