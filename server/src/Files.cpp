// SPDX-License-Identifier: GPL-3.0-or-later
#include "Files.h"

#include "Validation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace glimra::server {

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

[[noreturn]] void throwErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

void syncDirectory(const fs::path& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throwErrno("open " + dir.string());
    const int rc = ::fsync(fd);
    const int saved = errno;
    ::close(fd);
    if (rc != 0) {
        errno = saved;
        throwErrno("fsync " + dir.string());
    }
}

void ensureDirectory(const fs::path& dir)
{
    if (::mkdir(dir.c_str(), 0700) == 0) {
        syncDirectory(dir.parent_path());
        return;
    }
    if (errno != EEXIST)
        throwErrno("mkdir " + dir.string());
}

IncomingFile::IncomingFile(const fs::path& tmpDir)
{
    std::string name = (tmpDir / "upload-XXXXXX").string();
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0)
        throwErrno("create a temporary file in " + tmpDir.string());
    m_path = name;
    m_buffer.reserve(kBufferBytes);
}

IncomingFile::~IncomingFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_path.empty())
        ::unlink(m_path.c_str());
}

void IncomingFile::write(const char* data, std::size_t size)
{
    if (m_head.size() < kSniffBytes)
        m_head.append(data, std::min(size, kSniffBytes - m_head.size()));
    m_hash.update(data, size);
    m_size += size;
    if (m_buffer.size() + size > kBufferBytes)
        flush();
    if (size >= kBufferBytes) {
        m_buffer.assign(data, data + size);
        flush();
    } else {
        m_buffer.insert(m_buffer.end(), data, data + size);
    }
}

void IncomingFile::flush()
{
    const char* p = m_buffer.data();
    std::size_t left = m_buffer.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("write " + m_path.string());
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    m_buffer.clear();
}

void IncomingFile::finish()
{
    flush();
    if (::fsync(m_fd) != 0)
        throwErrno("fsync " + m_path.string());
    if (::close(m_fd) != 0) {
        m_fd = -1;
        throwErrno("close " + m_path.string());
    }
    m_fd = -1;
    m_sha256 = m_hash.hexDigest();
    std::vector<char>().swap(m_buffer);
}

} // namespace glimra::server
