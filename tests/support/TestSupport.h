#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace glimra::test {

// Runs the event loop until the predicate holds or the timeout passes; returns the predicate.
bool waitUntil(const std::function<bool()>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs the event loop for the whole duration; false as soon as the predicate fails. For what
// must not happen: a test fails at the first sign of it instead of after a fixed sleep.
bool holdsFor(const std::function<bool()>& predicate, std::chrono::milliseconds duration);

// Lets queued calls and zero timers run without waiting for anything in particular.
void processEvents(std::chrono::milliseconds duration = std::chrono::milliseconds(20));

// A private home for one test: XDG folders point into a temporary directory for its lifetime,
// so nothing a test does can reach the real user's files.
class ScopedHome {
public:
    ScopedHome();
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString dataHome() const;
    QString libraryDir() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_saved[5];
};

QImage makeTestImage(int width, int height, QRgb seed = 0xff336699);
// Writes a picture to path through a temporary name so watchers only see complete files.
bool writeImage(const QString& path, const QImage& image, const char* format = nullptr);

} // namespace glimra::test
