// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
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

// Sets an environment variable, or removes it for a null value, until the object goes.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_saved;
};

// A private home for one test: XDG folders point into a temporary directory for its lifetime,
// so nothing a test does can reach the real user's files.
class ScopedHome {
public:
    ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString libraryDir() const;

private:
    QTemporaryDir m_dir;
    std::deque<ScopedEnv> m_env;
};

QImage makeTestImage(int width, int height, QRgb seed = 0xff336699);
// Writes a picture to path through a temporary name so watchers only see complete files.
bool writeImage(const QString& path, const QImage& image, const char* format = nullptr);
// The bytes a file of that format would hold.
QByteArray encodeImage(const QImage& image, const char* format = "PNG", int quality = -1);
// Creates the file's folder as needed; false when any part of the write fails.
bool writeFile(const QString& path, const QByteArray& bytes);
// An executable shell script.
bool writeScript(const QString& path, const QByteArray& body);
// "<missing>" for a file that is not there, so two absent files never look alike content.
QByteArray readFile(const QString& path);
// Every entry of a folder by name, hidden ones and special files included: what a test leaves
// behind, temporaries too.
QStringList entriesOf(const QString& folder);
// The permission bits of a path itself, not of what a link points to.
unsigned modeOf(const QString& path);

} // namespace glimra::test

// Every test works in these; said once here, the test files keep to their cases.
using namespace glimra;
using namespace glimra::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
