// SPDX-License-Identifier: GPL-3.0-or-later
#include "ObjectStore.h"

#include "Crypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace glimra::server {

ObjectStore::ObjectStore(S3Location location, S3Credentials credentials, fs::path tmpDir)
    : m_client(std::move(location), std::move(credentials)), m_tmp(std::move(tmpDir))
{}

std::string ObjectStore::newKey(std::int64_t userId, std::string_view sha256, std::string_view ext)
{
    return "blobs/" + std::to_string(userId) + "/" + std::string(sha256) + "/" + newLinkId() + "." +
           std::string(ext);
}

void ObjectStore::put(const std::string& key, const IncomingFile& file)
{
    const int fd = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + file.path().string());
    const FileHandle closer(fd);
    // No HEAD afterwards to check the size: the request is signed with the hash of exactly
    // these bytes and their length, which S3 verifies before it answers 200, and a body cut
    // short never gets a 200 at all. A HEAD costs a bucket about a fifth of a PUT's work.
    m_client.put(key, fd, file.size(), file.sha256());
}

std::shared_ptr<FileHandle> ObjectStore::open(const std::string& key)
{
    // Unnamed: it goes with its last reference, even if the process dies.
    const int fd = ::open(m_tmp.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(),
                                "temporary file in " + m_tmp.string());
    auto handle = std::make_shared<FileHandle>(fd);
    if (!m_client.get(key, fd))
        return nullptr;
    return handle;
}

} // namespace glimra::server
