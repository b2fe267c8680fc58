// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Crypto.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace glimra::server {

namespace fs = std::filesystem;

// Makes a rename or unlink inside `dir` durable. Throws std::system_error.
void syncDirectory(const fs::path& dir);
// Creates `dir` if needed (mode 0700) and makes its entry in the parent durable.
void ensureDirectory(const fs::path& dir);

// An upload on its way to the store: a private temporary file that hashes what it is given
// and removes itself unless the store has taken it.
class IncomingFile {
public:
    explicit IncomingFile(const fs::path& tmpDir);
    ~IncomingFile();
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    void write(const char* data, std::size_t size); // throws std::system_error
    // Flushes and syncs the bytes to disk and closes the file; then the digest is known.
    void finish();

    const fs::path& path() const { return m_path; }
    std::uint64_t size() const { return m_size; }
    const std::string& head() const { return m_head; }
    const std::string& sha256() const { return m_sha256; }
    // The file has been renamed away; nothing to clean up.
    void release() { m_path.clear(); }

private:
    void flush();

    fs::path m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_head;
    std::string m_sha256;
    Sha256 m_hash;
    std::vector<char> m_buffer;
};

} // namespace glimra::server
