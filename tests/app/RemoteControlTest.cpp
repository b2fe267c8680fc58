#include "app/RemoteControl.h"
#include "app/RuntimeFolder.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using namespace glimra;
using namespace glimra::test;

namespace {

constexpr uid_t kNobody = 65534;

class RemoteControlTest : public ::testing::Test {
protected:
    QTemporaryDir m_runtime;
    ScopedEnv m_env{"XDG_RUNTIME_DIR", m_runtime.path().toUtf8()};
};

sockaddr_un addressOf(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    return address;
}

// A raw connection that says what it is told and nothing more.
int connectRaw(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = addressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The client blocks, so it runs on a thread of its own while this one serves.
RemoteResult sendFromAnotherThread(const QString& command, const QStringList& args,
                                   const QString& input, int timeoutMs)
{
    auto sent = std::async(std::launch::async,
                           [&] { return sendRemoteCommand(command, args, input, timeoutMs); });
    waitUntil([&] { return sent.wait_for(0s) == std::future_status::ready; },
              std::chrono::milliseconds(timeoutMs + 3000));
    return sent.get();
}

bool answersPing(int timeoutMs = 5000, const QString& command = u"ping"_s)
{
    const RemoteResult result = sendFromAnotherThread(command, {}, {}, timeoutMs);
    return result.connected && result.exitCode == 0;
}

// Claims the instance and listens, answering ping, wait (never) and files.
bool serve(RemoteControl& remote)
{
    remote.addCommand(u"ping"_s, [](const QStringList&, const QString&,
                                    const RemoteControl::Reply& reply) { reply(0, {}, {}); });
    remote.addCommand(u"wait"_s, [](const QStringList&, const QString&,
                                    const RemoteControl::Reply&) { /* answers never */ });
    // A command that needs files of its own, as a capture or an import does.
    remote.addCommand(u"files"_s,
                      [](const QStringList&, const QString&, const RemoteControl::Reply& reply) {
                          int opened[4];
                          bool all = true;
                          for (int& fd : opened)
                              all = (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0 && all;
                          for (int fd : opened)
                              if (fd >= 0)
                                  ::close(fd);
                          reply(all ? 0 : 1, {}, {});
                      });
    return remote.claimInstance() && remote.listen();
}

} // namespace

TEST_F(RemoteControlTest, oneInstanceTakesOverAStaleSocketAndOnlyTheUserMayConnect)
{
    {
        QFile stale(RemoteControl::socketPath()); // as a crashed instance leaves it
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    RemoteControl first;
    ASSERT_TRUE(serve(first));
    EXPECT_FALSE(RemoteControl().claimInstance());
    EXPECT_EQ(QFileInfo(RemoteControl::socketPath()).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                   QFileDevice::WriteOther),
              QFileDevice::Permissions());
    EXPECT_TRUE(answersPing());
}

TEST_F(RemoteControlTest, aClientThatDoesNotFinishItsRequestIsCutOff)
{
    // It says nothing, stops half-way, or never ends its line.
    const QByteArray requests[] = {{}, R"({"command":"pi)", QByteArray(200 * 1024, 'x')};
    RemoteControl remote(nullptr, {.maxConnections = 8, .requestTimeout = 300ms});
    ASSERT_TRUE(serve(remote));
    for (const QByteArray& request : requests) {
        SCOPED_TRACE(request.left(20).toStdString());
        QLocalSocket socket;
        socket.connectToServer(RemoteControl::socketPath());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(request);
        socket.flush();
        EXPECT_TRUE(
            waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 2s));
    }
    EXPECT_TRUE(answersPing());
}

TEST_F(RemoteControlTest, idleConnectionsMakeWayForARealClientButRunningCommandsAreKept)
{
    RemoteControl remote(nullptr, {.maxConnections = 4, .requestTimeout = 60s});
    ASSERT_TRUE(serve(remote));
    QLocalSocket waiting;
    waiting.connectToServer(RemoteControl::socketPath());
    ASSERT_TRUE(waiting.waitForConnected(2000));
    waiting.write(R"({"command":"wait"})"
                  "\n");
    waiting.flush();
    processEvents(50ms);
    QList<int> idle;
    for (int i = 0; i < 20; ++i)
        idle.append(connectRaw(RemoteControl::socketPath()));
    EXPECT_TRUE(answersPing());
    processEvents(50ms);
    EXPECT_EQ(waiting.state(), QLocalSocket::ConnectedState);
    for (int fd : idle)
        ::close(fd);
}

// Runs in a child process (see the flood test below) so that its lowered descriptor limit and
// whatever a flood does to it cannot touch the test runner.
TEST(RemoteControlChild, servesUnderALoweredDescriptorLimit)
{
    // "1024": that limit; "+12": twelve descriptors more than the listening child has open.
    const QByteArray limit = qgetenv("GLIMRA_TEST_FD_LIMIT");
    if (limit.isEmpty())
        GTEST_SKIP() << "only run as the flood test's child";
    RemoteControl remote;
    ASSERT_TRUE(serve(remote));
    rlim_t value = limit.mid(1).toULong();
    if (limit.startsWith('+'))
        value += QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
    else
        value = limit.toULong();
    const rlimit lowered{value, value};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::printf("listening\n");
    std::fflush(stdout);
    QCoreApplication::exec(); // until the parent kills it
}

TEST_F(RemoteControlTest, aFloodOfConnectionsNeverLeavesTheSocketDeafNorTheInstanceWithoutFiles)
{
    // More connections than a 1024 limit; descriptors that run out before the cap.
    const std::pair<QString, int> cases[] = {{u"1024"_s, 1100}, {u"+12"_s, 300}};
    rlimit own{};
    ::getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = own.rlim_max; // the flood itself needs more than the child may have
    ::setrlimit(RLIMIT_NOFILE, &own);
    for (const auto& [limit, connections] : cases) {
        SCOPED_TRACE(limit.toStdString());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GLIMRA_TEST_FD_LIMIT"_s, limit);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--gtest_filter=RemoteControlChild.*"_s});
        QByteArray said;
        ASSERT_TRUE(waitUntil(
            [&] { return (said += child.readAllStandardOutput()).contains("listening"); }, 10s));
        QList<int> flood;
        for (int i = 0; i < connections; ++i) {
            const int fd = connectRaw(RemoteControl::socketPath());
            if (fd >= 0)
                flood.append(fd);
        }
        EXPECT_GE(flood.size(), connections / 2);
        EXPECT_TRUE(answersPing()) << "during the flood";
        EXPECT_TRUE(answersPing(5000, u"files"_s)) << "a command that opens files, in the flood";
        for (int fd : flood)
            ::close(fd);
        EXPECT_TRUE(waitUntil([] { return answersPing(1000); }, 5s)) << "after the flood";
        EXPECT_EQ(child.state(), QProcess::Running);
        child.kill();
        child.waitForFinished();
    }
}

TEST(RuntimeFolderTest, withoutARuntimeFolderOnlyAPrivateFolderOfOursIsUsed)
{
    struct Case {
        const char* what;
        std::function<bool(const QString& folder, const QString& elsewhere)> plant;
        const char* problem; // nullptr: usable
        bool needsRoot = false;
    };
    const auto folder = [](mode_t mode, uid_t owner = ::getuid()) {
        return [=](const QString& path, const QString&) {
            const QByteArray name = QFile::encodeName(path);
            return ::mkdir(name, 0700) == 0 && ::chmod(name, mode) == 0 &&
                   (owner == ::getuid() || ::chown(name, owner, owner) == 0);
        };
    };
    const Case cases[] = {
        {"nothing there yet", [](const QString&, const QString&) { return true; }, nullptr},
        {"our private folder", folder(0700), nullptr},
        {"open to the group", folder(0750), "open to other users"},
        {"open to all, like /tmp", folder(01777), "open to other users"},
        {"a link to a private folder",
         [](const QString& path, const QString& elsewhere) {
             return QDir().mkdir(elsewhere) && QFile::link(elsewhere, path);
         },
         "symbolic link"},
        {"a file", [](const QString& path, const QString&) { return writeFile(path, {}); },
         "not a folder"},
        {"another user's folder", folder(0700, kNobody), "another user", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && ::getuid() != 0)
            continue; // only root can give a folder away
        QTemporaryDir tmp;
        ScopedEnv noRuntime("XDG_RUNTIME_DIR", QByteArray());
        ScopedEnv tmpdir("TMPDIR", tmp.path().toUtf8());
        const QString expected = tmp.path() + u"/glimra-"_s + QString::number(::getuid());
        ASSERT_TRUE(c.plant(expected, tmp.path() + u"/elsewhere"_s));

        const RuntimeFolder found = runtimeFolder();
        EXPECT_EQ(found.path, expected);
        if (!c.problem) {
            EXPECT_TRUE(found.isUsable()) << qPrintable(found.problem);
            EXPECT_EQ(modeOf(expected), 0700u);
            continue;
        }
        EXPECT_TRUE(found.problem.contains(QLatin1String(c.problem))) << qPrintable(found.problem);
        const RemoteResult sent = sendRemoteCommand(u"ping"_s, {}, {}, 1000);
        EXPECT_FALSE(sent.connected);
        EXPECT_TRUE(sent.err.contains(QLatin1String(c.problem))) << qPrintable(sent.err);
    }
}

TEST_F(RemoteControlTest, aSocketServedByAnotherUserHearsNothing)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to run a listener as another user";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(RemoteControl::socketPath());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    int heard[2], listening[2];
    ASSERT_EQ(::pipe(heard), 0);
    ASSERT_EQ(::pipe(listening), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The kernel gives a listening socket the credentials of whoever called listen().
        if (::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0 || ::listen(listener, 4) != 0)
            ::_exit(3);
        [[maybe_unused]] auto said = ::write(listening[1], "!", 1);
        ssize_t total = 0;
        pollfd waitFor{listener, POLLIN, 0};
        if (::poll(&waitFor, 1, 5000) == 1) {
            const int client = ::accept(listener, nullptr, nullptr);
            pollfd readable{client, POLLIN, 0};
            char buffer[512];
            ssize_t n = 0;
            while (::poll(&readable, 1, 1000) == 1 && (n = ::read(client, buffer, 512)) > 0)
                total += n;
        }
        [[maybe_unused]] auto w = ::write(heard[1], &total, sizeof total);
        ::_exit(0);
    }
    ::close(listener);
    ::close(heard[1]);
    ::close(listening[1]);
    char ready = 0;
    ASSERT_EQ(::read(listening[0], &ready, 1), 1);
    ::close(listening[0]);

    const RemoteResult result = sendRemoteCommand(u"login"_s, {u"me"_s}, u"my password"_s, 2000);
    EXPECT_FALSE(result.connected);
    EXPECT_TRUE(result.err.contains(u"another user"_s)) << qPrintable(result.err);
    ssize_t total = -1;
    EXPECT_EQ(::read(heard[0], &total, sizeof total), static_cast<ssize_t>(sizeof total));
    EXPECT_EQ(total, 0) << "the other user's listener read the request";
    ::close(heard[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
}
