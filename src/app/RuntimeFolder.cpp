// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

QString privateFolderProblem(const QString& path, unsigned uid)
{
    struct stat info {};
    // lstat: a link to a private folder is still a link someone else may have planted.
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return path + QStringLiteral(" cannot be read: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISLNK(info.st_mode))
        return path + QStringLiteral(" is a symbolic link");
    if (!S_ISDIR(info.st_mode))
        return path + QStringLiteral(" is not a folder");
    if (info.st_uid != uid)
        return path + QStringLiteral(" belongs to another user (uid %1)").arg(info.st_uid);
    if ((info.st_mode & 07777) != S_IRWXU)
        return path + QStringLiteral(" is open to other users (mode %1, must be 0700)")
                          .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

RuntimeFolder runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return {runtime, {}};
    const QString fallback =
        QDir::tempPath() + QStringLiteral("/glimra-") + QString::number(::getuid());
    if (::mkdir(QFile::encodeName(fallback).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return {fallback, fallback + QStringLiteral(" cannot be made: ") +
                              QString::fromLocal8Bit(std::strerror(errno))};
    const QString problem = privateFolderProblem(fallback, ::getuid());
    if (problem.isEmpty())
        return {fallback, {}};
    return {fallback, problem + QStringLiteral("; remove it, or set XDG_RUNTIME_DIR")};
}

} // namespace glimra
