// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AtomicWrite.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra::posix {

namespace {

// Holds back the usual termination signals while the temporary file exists, so a writer
// stopped at that moment still ends with the whole file or nothing, never a stray temporary.
class DeferTermination final {
public:
    DeferTermination()
    {
        const sigset_t set = terminationSignals();
        pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~DeferTermination() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    DeferTermination(const DeferTermination&) = delete;
    DeferTermination& operator=(const DeferTermination&) = delete;

private:
    sigset_t m_previous;
};

} // namespace

sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&set, signal);
    return set;
}

int openTemporaryBeside(const std::string& path, std::string* name)
{
    const std::size_t slash = path.rfind('/');
    *name = slash == std::string::npos
                ? '.' + path + ".XXXXXX"
                : path.substr(0, slash + 1) + '.' + path.substr(slash + 1) + ".XXXXXX";
    return ::mkostemp(name->data(), O_CLOEXEC);
}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t currentUmask()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool renameNoReplace(const char* from, const char* to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: link(2) refuses an existing name too.
    if (::link(from, to) != 0)
        return false;
    ::unlink(from);
    return true;
}

std::string writeFileAtomically(const std::string& path,
                                std::span<const std::span<const unsigned char>> parts,
                                std::optional<mode_t> mode)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + '.' + name + ".XXXXXX";
    const DeferTermination deferTermination;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    int error = 0;
    if (fd < 0) {
        error = errno;
    } else {
        bool ok = true;
        for (const std::span<const unsigned char> part : parts)
            ok = ok && writeAll(fd, part.data(), part.size());
        ok = ok && ::fchmod(fd, mode.value_or(0666 & ~currentUmask())) == 0;
        error = ok ? 0 : errno;
        if (::close(fd) != 0 && ok)
            error = errno;
        if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
            error = errno;
        if (error != 0)
            ::unlink(temporary.c_str());
    }
    if (error == 0)
        return {};
    return "cannot write " + path + ": " + std::strerror(error);
}

} // namespace glimra::posix
