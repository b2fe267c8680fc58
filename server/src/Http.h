// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the handlers see of HTTP: plain values, so they neither know nor compile the network
// library.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glimra::server {

struct HttpRequest {
    std::string method;
    std::string path; // without the query
    std::string query;
    std::string contentType;
    std::string range;
    std::string ifNoneMatch;
    std::string remoteAddress;
    std::string body; // JSON requests only; uploads are streamed to the form reader
};

// An open file the answer is read from; closed with the last reference.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
    // A file answer sends these bytes of the file instead of the body.
    std::shared_ptr<FileHandle> file;
    std::uint64_t fileOffset = 0;
    std::uint64_t fileLength = 0;
    // The connection ends after this answer, e.g. because the request body was not read.
    bool close = false;

    void setHeader(std::string name, std::string value)
    {
        headers.emplace_back(std::move(name), std::move(value));
    }
};

// The value of one query parameter, percent-decoded; empty when absent.
std::string queryParameter(std::string_view query, std::string_view name);
// Without the spaces and tabs HTTP allows around a header value or a list item.
std::string_view trim(std::string_view text);

// A Range header against a file of `size` bytes. Only one range of bytes is served; any
// other form (several ranges, other units, bad syntax) is answered with the whole file.
struct ByteRange {
    enum Kind { Whole, Partial, Unsatisfiable } kind = Whole;
    std::uint64_t first = 0;
    std::uint64_t length = 0;
};
ByteRange parseRange(std::string_view header, std::uint64_t size);

} // namespace glimra::server
