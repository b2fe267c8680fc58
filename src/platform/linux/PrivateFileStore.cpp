// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/PrivateFileStore.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

namespace {

// A secret is a few hundred bytes; anything far larger in our file was not written by us.
constexpr qint64 kMaxSecretBytes = 64 * 1024;

// The folder must belong to us and be closed to everyone else; one we created earlier with
// looser rights is tightened, one owned by someone else is not used at all.
bool ensurePrivateFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    QDir().mkpath(folder.section(u'/', 0, -2));
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(native.constData(), 0700) == 0;
}

} // namespace

PrivateFileStore::PrivateFileStore(QString folder) : m_folder(std::move(folder)) {}

QString PrivateFileStore::pathFor(const QString& service, const QString& account) const
{
    QString name = service + u'.' + account;
    name.replace(u'/', u'_');
    return m_folder + u'/' + name;
}

bool PrivateFileStore::store(const QString& service, const QString& account,
                             const QByteArray& secret)
{
    if (!ensurePrivateFolder(m_folder))
        return false;
    // Created 0600, so the bytes are never readable by others, and synced, so a crash never
    // leaves the name standing for a truncated secret.
    return writeFileAtomically(pathFor(service, account), secret, {0600, true}).isEmpty();
}

std::optional<QByteArray> PrivateFileStore::lookup(const QString& service,
                                                   const QString& account) const
{
    const QByteArray path = QFile::encodeName(pathFor(service, account));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat st {};
    // A file others could read may have been read, or planted, by them: not our secret.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & 077) == 0 && st.st_size <= kMaxSecretBytes) {
        QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        if (got == bytes.size())
            result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

void PrivateFileStore::remove(const QString& service, const QString& account)
{
    ::unlink(QFile::encodeName(pathFor(service, account)).constData());
}

} // namespace glimra
