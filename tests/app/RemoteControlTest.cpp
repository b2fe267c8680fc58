// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RemoteControl.h"
#include "app/RuntimeFolder.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QProcess>

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
    // How many descriptors more than the listening child has open it may have.
    const QByteArray spare = qgetenv("GLIMRA_TEST_FD_SPARE");
    if (spare.isEmpty())
        GTEST_SKIP() << "only run as the flood test's child";
    RemoteControl remote;
    ASSERT_TRUE(serve(remote));
    const rlim_t value =
        spare.toULong() + QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
    const rlimit lowered{value, value};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::printf("listening\n");
    std::fflush(stdout);
    QCoreApplication::exec(); // until the parent kills it
}

// Descriptors run out long before the cap on connections; the cap itself is the idle test's.
TEST_F(RemoteControlTest, aFloodOfConnectionsNeverLeavesTheSocketDeafNorTheInstanceWithoutFiles)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"GLIMRA_TEST_FD_SPARE"_s, u"12"_s);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {u"--gtest_filter=RemoteControlChild.*"_s});
    QByteArray said;
    ASSERT_TRUE(waitUntil(
        [&] { return (said += child.readAllStandardOutput()).contains("listening"); }, 10s));
    QList<int> flood;
    for (int i = 0; i < 300; ++i) {
        const int fd = connectRaw(RemoteControl::socketPath());
        if (fd >= 0)
            flood.append(fd);
    }
    EXPECT_GE(flood.size(), 150);
    EXPECT_TRUE(answersPing()) << "during the flood";
    EXPECT_TRUE(answersPing(5000, u"files"_s)) << "a command that opens files, in the flood";
    for (int fd : flood)
        ::close(fd);
    EXPECT_TRUE(waitUntil([] { return answersPing(1000); }, 5s)) << "after the flood";
    EXPECT_EQ(child.state(), QProcess::Running);
    child.kill();
    child.waitForFinished();
}

TEST(RuntimeFolderTest, withoutARuntimeFolderOnlyAPrivateFolderOfOursIsUsed)
{
    using Plant = std::function<bool(const QString& folder, const QString& elsewhere)>;
    const auto folder = [](mode_t mode, uid_t owner = ::getuid()) {
        return [=](const QString& path, const QString&) {
            const QByteArray name = QFile::encodeName(path);
            return ::mkdir(name, 0700) == 0 && ::chmod(name, mode) == 0 &&
                   (owner == ::getuid() || ::chown(name, owner, owner) == 0);
        };
    };
    // What is there; how it is made; the problem found (nullptr: usable).
    const std::tuple<const char*, Plant, const char*> cases[] = {
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
        {"another user's folder", folder(0700, kNobody), "another user"},
    };
    for (const auto& [what, plant, problem] : cases) {
        SCOPED_TRACE(what);
        if (std::string_view(what) == "another user's folder" && ::getuid() != 0)
            continue; // only root can give a folder away
        QTemporaryDir tmp;
        ScopedEnv noRuntime("XDG_RUNTIME_DIR", QByteArray());
        ScopedEnv tmpdir("TMPDIR", tmp.path().toUtf8());
        const QString expected = tmp.path() + u"/glimra-"_s + QString::number(::getuid());
        ASSERT_TRUE(plant(expected, tmp.path() + u"/elsewhere"_s));

        const RuntimeFolder found = runtimeFolder();
        EXPECT_EQ(found.path, expected);
        if (!problem) {
            EXPECT_TRUE(found.isUsable()) << qPrintable(found.problem);
            EXPECT_EQ(modeOf(expected), 0700u);
            continue;
        }
        EXPECT_TRUE(found.problem.contains(QLatin1String(problem))) << qPrintable(found.problem);
        const RemoteResult sent = sendRemoteCommand(u"ping"_s, {}, {}, 1000);
        EXPECT_FALSE(sent.connected);
        EXPECT_TRUE(sent.err.contains(QLatin1String(problem))) << qPrintable(sent.err);
    }
}

TEST_F(RemoteControlTest, aSocketServedByAnotherUserHearsNothing)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = addressOf(RemoteControl::socketPath());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // The kernel gives a listening socket the credentials of whoever called listen().
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::setresgid(kNobody, kNobody, kNobody) != 0 ||
                ::setresuid(kNobody, kNobody, kNobody) != 0 || ::listen(listener, 4) != 0);
    int status = -1;
    ::waitpid(pid, &status, 0);
    ASSERT_EQ(status, 0);

    const RemoteResult result = sendRemoteCommand(u"login"_s, {u"me"_s}, u"my password"_s, 2000);
    EXPECT_FALSE(result.connected);
    EXPECT_TRUE(result.err.contains(u"another user"_s)) << qPrintable(result.err);
    // Whoever connected to look at the listener's owner has said nothing.
    for (int client; (client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
        char byte = 0;
        EXPECT_LE(::read(client, &byte, 1), 0) << "the other user's listener read the request";
        ::close(client);
    }
    ::close(listener);
}
