// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>

namespace glimra::test {

bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!predicate()) {
        if (deadline.hasExpired())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

bool holdsFor(const std::function<bool()>& predicate, std::chrono::milliseconds duration)
{
    return !waitUntil([&] { return !predicate(); }, duration);
}

void processEvents(std::chrono::milliseconds duration)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    } while (t.elapsed() < duration.count());
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_saved(qgetenv(name))
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        qputenv(m_name, m_saved);
    else
        qunsetenv(m_name);
}

ScopedHome::ScopedHome()
{
    const QString root = m_dir.path();
    for (const char* dir : {"data", "config", "state", "Pictures/Screenshots"})
        QDir(root).mkpath(QString::fromLatin1(dir));
    m_env.emplace_back("HOME", root.toUtf8());
    for (const auto& [name, dir] : {std::pair{"XDG_DATA_HOME", "/data"},
                                    {"XDG_CONFIG_HOME", "/config"},
                                    {"XDG_STATE_HOME", "/state"},
                                    {"XDG_CACHE_HOME", "/cache"}})
        m_env.emplace_back(name, (root + QLatin1String(dir)).toUtf8());
}

QString ScopedHome::libraryDir() const
{
    return m_dir.path() + QStringLiteral("/data/Glimra");
}

QImage makeTestImage(int width, int height, QRgb seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(seed);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height / 2, QColor(Qt::white));
    p.fillRect(width / 2, height / 2, width / 2, height / 2, QColor(0x20, 0xa0, 0x40));
    return image;
}

bool writeImage(const QString& path, const QImage& image, const char* format)
{
    const QString tmp =
        QFileInfo(path).dir().filePath(QStringLiteral(".writing-") + QFileInfo(path).fileName());
    if (!image.save(tmp, format))
        return false;
    QFile::remove(path);
    return QFile::rename(tmp, path);
}

QByteArray encodeImage(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool writeScript(const QString& path, const QByteArray& body)
{
    return writeFile(path, "#!/bin/sh\n" + body) &&
           QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

unsigned modeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace glimra::test
