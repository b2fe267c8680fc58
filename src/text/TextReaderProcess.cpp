// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextReaderProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace glimra::text {

namespace {

using namespace std::chrono;

constexpr int kSlice = 200; // ms between looks at the stop flag and the helper's time

// The processor time the process has used so far, from /proc.
milliseconds cpuTime(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return milliseconds(0);
    const QByteArray line = stat.readAll();
    // The command name may hold spaces and parentheses: count fields after the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return milliseconds(0);
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const qint64 used = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return milliseconds(ticks > 0 ? used * 1000 / ticks : 0);
}

} // namespace

void HelperHandle::pause(bool paused)
{
    const std::lock_guard lock(m_mutex);
    if (paused != m_paused && m_pid > 0)
        ::kill(m_pid, paused ? SIGSTOP : SIGCONT);
    m_paused = paused;
}

bool HelperHandle::isPaused() const
{
    const std::lock_guard lock(m_mutex);
    return m_paused;
}

void HelperHandle::set(pid_t pid)
{
    const std::lock_guard lock(m_mutex);
    m_pid = pid;
    if (m_paused)
        ::kill(m_pid, SIGSTOP);
}

void HelperHandle::clear()
{
    const std::lock_guard lock(m_mutex);
    m_pid = -1;
}

TextReaderProcess::TextReaderProcess(QString program, QString language,
                                     const std::atomic<bool>* stop, Limits limits,
                                     HelperHandle* handle)
    : m_program(std::move(program)), m_language(std::move(language)), m_stop(stop),
      m_limits(limits), m_handle(handle)
{}

TextReaderProcess::~TextReaderProcess()
{
    kill();
}

bool TextReaderProcess::start(QString* reason)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // OpenMP reads the limit only as the helper loads (see the helper).
    std::vector<std::string> environment{"OMP_THREAD_LIMIT=1"};
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "OMP_THREAD_LIMIT=", 17) != 0)
            environment.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const QByteArray program = QFile::encodeName(m_program);
    const QByteArray language = m_language.toUtf8();
    char* const argv[] = {const_cast<char*>(program.constData()),
                          const_cast<char*>(language.constData()), nullptr};
    const int failed =
        ::posix_spawn(&m_pid, program.constData(), &actions, nullptr, argv, envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (failed) {
        ::close(ends[0]);
        m_pid = -1;
        *reason = QStringLiteral("cannot run %1: %2")
                      .arg(m_program, QString::fromLocal8Bit(std::strerror(failed)));
        return false;
    }
    m_socket = ends[0];
    if (m_handle)
        m_handle->set(m_pid);
    m_buffer.clear();
    m_started = m_lastLook = steady_clock::now();
    m_cpuAtStart = milliseconds(0);
    std::string line;
    if (readLine(&line) == LineStatus::Line && line == "ready")
        return true;
    *reason = line.rfind("error ", 0) == 0 ? QString::fromUtf8(line.substr(6))
                                           : QStringLiteral("the text reader did not start");
    kill();
    return false;
}

void TextReaderProcess::kill()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    if (m_pid > 0) {
        if (m_handle)
            m_handle->clear();
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
}

TextReaderProcess::LineStatus TextReaderProcess::readLine(std::string* line)
{
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line->assign(m_buffer, 0, end);
            m_buffer.erase(0, end + 1);
            return LineStatus::Line;
        }
        if (m_stop && m_stop->load())
            return LineStatus::Stopped;
        // Time stopped by a pause is no time spent on the picture.
        const auto now = steady_clock::now();
        if (m_handle && m_handle->isPaused())
            m_started += now - m_lastLook;
        m_lastLook = now;
        if (steady_clock::now() - m_started > m_limits.wall ||
            cpuTime(m_pid) - m_cpuAtStart > m_limits.cpu)
            return LineStatus::TimedOut;
        pollfd ready{m_socket, POLLIN, 0};
        const int polled = ::poll(&ready, 1, kSlice);
        if (polled < 0 && errno != EINTR)
            return LineStatus::Died;
        if (polled <= 0)
            continue;
        char chunk[16384];
        const ssize_t got = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return LineStatus::Died;
        m_buffer.append(chunk, static_cast<size_t>(got));
    }
}

ReadResult TextReaderProcess::read(const QString& path)
{
    if (path.contains(QLatin1Char('\n')))
        return ReadResult::failed(ReadResult::Unreadable,
                                  QStringLiteral("the file name holds a line break"));
    if (m_pid < 0) {
        QString reason;
        if (!start(&reason))
            return ReadResult::failed(ReadResult::Unavailable, reason);
    }
    const QByteArray request = QFile::encodeName(path) + '\n';
    m_started = m_lastLook = steady_clock::now();
    m_cpuAtStart = cpuTime(m_pid);
    if (::send(m_socket, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL) !=
        request.size()) {
        kill();
        return ReadResult::failed(ReadResult::Unreadable, QStringLiteral("the text reader ended"));
    }
    ReadResult result = ReadResult::failed(ReadResult::Read, {});
    std::string line;
    for (bool first = true;; first = false) {
        const LineStatus status = readLine(&line);
        if (status != LineStatus::Line) {
            kill();
            if (status == LineStatus::Stopped)
                return ReadResult::failed(ReadResult::Stopped, {});
            return ReadResult::failed(ReadResult::Unreadable,
                                      status == LineStatus::TimedOut
                                          ? QStringLiteral("reading it took too long")
                                          : QStringLiteral("the text reader crashed"));
        }
        if (first && line.rfind("error ", 0) == 0)
            return ReadResult::failed(ReadResult::Unreadable, QString::fromUtf8(line.substr(6)));
        if (first) {
            const QList<QByteArray> parts = QByteArray::fromStdString(line).split(' ');
            result.size = QSize(parts.value(1).toInt(), parts.value(2).toInt());
            continue;
        }
        if (line == ".")
            return result;
        const QList<Word> word = wordsFromRecord(QString::fromUtf8(line));
        result.words.append(word);
    }
}

} // namespace glimra::text
