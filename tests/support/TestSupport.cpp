#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QThread>

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

static const char* const kVars[5] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                                     "XDG_CACHE_HOME"};

ScopedHome::ScopedHome()
{
    for (int i = 0; i < 5; ++i)
        m_saved[i] = qgetenv(kVars[i]);
    const QString root = m_dir.path();
    QDir(root).mkpath(QStringLiteral("data"));
    QDir(root).mkpath(QStringLiteral("config"));
    QDir(root).mkpath(QStringLiteral("state"));
    QDir(root).mkpath(QStringLiteral("Pictures/Screenshots"));
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_STATE_HOME", (root + QStringLiteral("/state")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
}

ScopedHome::~ScopedHome()
{
    for (int i = 0; i < 5; ++i) {
        if (m_saved[i].isNull())
            qunsetenv(kVars[i]);
        else
            qputenv(kVars[i], m_saved[i]);
    }
}

QString ScopedHome::dataHome() const
{
    return m_dir.path() + QStringLiteral("/data");
}
QString ScopedHome::libraryDir() const
{
    return dataHome() + QStringLiteral("/Glimra");
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

} // namespace glimra::test
