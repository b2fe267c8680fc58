// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/RecognisedText.h"

#include <QList>
#include <QSize>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace glimra::text {

struct ReadResult {
    enum Status {
        Read,        // words holds what was read (maybe nothing)
        Unreadable,  // the file is not a picture the helper can read, or it died or hung on it
        Unavailable, // the helper could not start (missing program or language data)
        Stopped,     // asked to stop while reading
    };
    Status status = Unavailable;
    QList<Word> words;
    QString reason;
    QSize size; // the picture's

    static ReadResult failed(Status status, QString reason)
    {
        return {status, {}, std::move(reason), {}};
    }
};

// The running helper's process, to stop and continue from another thread: a paused reading
// stops the picture in progress too, so that a capture has the processors and their caches to
// itself. The lock keeps a signal from reaching a process id the helper no longer holds.
class HelperHandle final {
public:
    void pause(bool paused);
    bool isPaused() const;
    void set(pid_t pid);
    // Before the helper is reaped.
    void clear();

private:
    mutable std::mutex m_mutex;
    pid_t m_pid = -1;
    bool m_paused = false;
};

// The glimra-text-reader helper, started on first use and kept for the next picture. Blocking:
// for the reading thread only. A helper that dies or runs too long on one picture is killed,
// the picture counts as unreadable, and the next read starts a fresh helper.
class TextReaderProcess final {
public:
    struct Limits {
        std::chrono::milliseconds cpu{60'000};   // processor time spent on one picture
        std::chrono::milliseconds wall{600'000}; // it runs only when the processors are idle
    };

    // handle may be null: the helper is then never stopped while it reads.
    TextReaderProcess(QString program, QString language, const std::atomic<bool>* stop,
                      Limits limits, HelperHandle* handle = nullptr);
    ~TextReaderProcess();
    TextReaderProcess(const TextReaderProcess&) = delete;
    TextReaderProcess& operator=(const TextReaderProcess&) = delete;

    ReadResult read(const QString& path);
    pid_t pid() const { return m_pid; }

private:
    enum class LineStatus { Line, Died, TimedOut, Stopped };
    bool start(QString* reason);
    void kill();
    LineStatus readLine(std::string* line);

    QString m_program;
    QString m_language;
    const std::atomic<bool>* m_stop;
    Limits m_limits;
    HelperHandle* m_handle;
    pid_t m_pid = -1;
    int m_socket = -1;
    std::string m_buffer;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastLook;
    std::chrono::milliseconds m_cpuAtStart{0};
};

} // namespace glimra::text
