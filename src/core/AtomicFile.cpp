// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AtomicFile.h"

#include "core/AtomicWrite.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

using posix::currentUmask;
using posix::renameNoReplace;

AtomicFile::AtomicFile(const QString& destination, Options options)
    : m_destination(destination), m_options(options)
{}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_tempName.isEmpty() && !m_published)
        ::unlink(m_tempName.constData());
}

bool AtomicFile::fail()
{
    m_errno = errno;
    return false;
}

bool AtomicFile::isTemporaryName(QStringView fileName, QStringView forName)
{
    return fileName.size() == forName.size() + 8 && fileName.startsWith(u'.') &&
           fileName.sliced(1, forName.size()) == forName && isTemporaryName(fileName);
}

bool AtomicFile::isTemporaryName(QStringView fileName)
{
    // mkostemp's six characters come from [A-Za-z0-9].
    if (fileName.size() < 9 || !fileName.startsWith(u'.') || fileName[fileName.size() - 7] != u'.')
        return false;
    const QStringView suffix = fileName.last(6);
    return std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
        return c.isDigit() || (c.toLatin1() >= 'a' && c.toLatin1() <= 'z') ||
               (c.toLatin1() >= 'A' && c.toLatin1() <= 'Z');
    });
}

bool AtomicFile::open()
{
    std::string name;
    const int fd = posix::openTemporaryBeside(
        QFile::encodeName(QFileInfo(m_destination).absoluteFilePath()).toStdString(), &name);
    if (fd < 0)
        return fail();
    m_fd = fd;
    m_tempName = QByteArray::fromStdString(name);
    return true;
}

bool AtomicFile::write(QByteArrayView bytes)
{
    return posix::writeAll(m_fd, bytes.data(), static_cast<std::size_t>(bytes.size())) || fail();
}

bool AtomicFile::finish()
{
    if (m_finished)
        return true;
    if (m_fd < 0) {
        errno = EBADF;
        return fail();
    }
    const mode_t mode = m_options.mode.value_or(0666 & ~currentUmask());
    bool ok = ::fchmod(m_fd, mode) == 0 && (!m_options.sync || ::fsync(m_fd) == 0);
    const int stepErrno = errno;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!ok || !closed) {
        errno = ok ? errno : stepErrno;
        return fail();
    }
    m_finished = true;
    return true;
}

bool AtomicFile::commit()
{
    if (!finish())
        return false;
    const QByteArray target = QFile::encodeName(QFileInfo(m_destination).absoluteFilePath());
    if (::rename(m_tempName.constData(), target.constData()) != 0)
        return fail();
    m_published = true;
    return true;
}

bool AtomicFile::commitIfFree(const QString& target)
{
    if (!finish())
        return false;
    if (!renameNoReplace(m_tempName.constData(), QFile::encodeName(target).constData()))
        return fail();
    m_published = true;
    return true;
}

QString AtomicFile::errorString() const
{
    return QString::fromLocal8Bit(std::strerror(m_errno));
}

QString writeFileAtomically(const QString& path, const QByteArray& bytes,
                            AtomicFile::Options options)
{
    AtomicFile file(path, options);
    if (file.open() && file.write(bytes) && file.commit())
        return {};
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
}

} // namespace glimra
