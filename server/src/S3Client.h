// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimra::server {

// Where objects go: s3://BUCKET?endpoint=URL&region=R, addressed path-style.
struct S3Location {
    std::string bucket;
    std::string endpoint; // scheme, host and port, no trailing slash
    std::string region = "us-east-1";
};
std::optional<S3Location> parseS3Url(std::string_view url);

struct S3Credentials {
    std::string accessKey;
    std::string secretKey;
};
// From AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, or from `file` when given: lines
// NAME=VALUE (or "name = value" as in an AWS credentials file) with those two names. The
// message says what is missing.
std::optional<S3Credentials> loadS3Credentials(const std::string& file, std::string& message);

struct S3Object {
    std::string key;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // Unix seconds
};

// The few S3 requests the server needs, through libcurl's SigV4 signing. Each call is one
// request; failures of the transport or of the store throw std::runtime_error. Safe to use
// from several threads: each keeps its own connection.
class S3Client {
public:
    S3Client(S3Location location, S3Credentials credentials);

    // Stores the `size` bytes of `fd` (read from its start) under `key`; `sha256` is their
    // hexadecimal hash, which the request is signed with.
    void put(const std::string& key, int fd, std::uint64_t size, const std::string& sha256);
    // Writes the object into `fd`; false when there is no such object.
    bool get(const std::string& key, int fd);
    // Removing an object that is not there is no failure.
    void remove(const std::string& key);
    // Every object whose key starts with `prefix`, all pages of the listing.
    std::vector<S3Object> list(const std::string& prefix);
    // True when the bucket answers at all.
    bool reachable();

private:
    struct Reply;
    Reply request(const char* method, const std::string& key, const std::string& query,
                  int uploadFd, std::uint64_t uploadSize, const std::string& payloadHash,
                  int downloadFd);

    S3Location m_location;
    S3Credentials m_credentials;
};

// RFC 3986 percent-encoding of a query name or value, as SigV4's canonical form wants it.
std::string s3Encode(std::string_view text);

} // namespace glimra::server
