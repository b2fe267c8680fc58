// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Files.h"
#include "Http.h"
#include "S3Client.h"

#include <memory>
#include <string>

namespace glimra::server {

// Screenshot bytes in an S3-compatible bucket that several servers share. The bucket is not
// trusted to be atomic: a cut PUT may leave a short object behind, so every upload gets a
// key of its own, recorded in its row, and is checked after it is written.
class ObjectStore {
public:
    ObjectStore(S3Location location, S3Credentials credentials, fs::path tmpDir);

    // "blobs/USER/SHA256/RANDOM.EXT": never written twice, so nothing is decided by whether an
    // object exists.
    static std::string newKey(std::int64_t userId, std::string_view sha256, std::string_view ext);

    // Writes the finished upload and checks that the whole of it arrived.
    void put(const std::string& key, const IncomingFile& file);
    // The object in an unnamed temporary file, read from its start; nothing when it is gone.
    std::shared_ptr<FileHandle> open(const std::string& key);
    void remove(const std::string& key) { m_client.remove(key); }
    std::vector<S3Object> list() { return m_client.list("blobs/"); }
    bool reachable() { return m_client.reachable(); }

private:
    S3Client m_client;
    fs::path m_tmp;
};

} // namespace glimra::server
