#include "app/RemoteControl.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace glimra;
using namespace glimra::test;

namespace {

class RemoteControlTest : public ::testing::Test {
protected:
    RemoteControlTest()
    {
        m_saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
    }
    ~RemoteControlTest() override { qputenv("XDG_RUNTIME_DIR", m_saved); }

    // The client blocks while it waits, so it runs beside the event loop that serves it.
    RemoteResult send(const QString& command, const QStringList& args, const QString& input = {})
    {
        QFuture<RemoteResult> future =
            QtConcurrent::run([=] { return sendRemoteCommand(command, args, input, 5000); });
        waitUntil([&] { return future.isFinished(); }, std::chrono::seconds(10));
        return future.result();
    }

    QTemporaryDir m_runtime;
    QByteArray m_saved;
};

} // namespace

TEST_F(RemoteControlTest, aCommandReachesItsHandlerAndItsReplyComesBack)
{
    RemoteControl remote;
    ASSERT_TRUE(remote.claimInstance());
    ASSERT_TRUE(remote.listen());
    remote.addCommand(u"echo"_s, [](const QStringList& args, const QString& input,
                                    const RemoteControl::Reply& reply) {
        reply(3, args.join(QLatin1Char(',')), input);
    });
    const RemoteResult result = send(u"echo"_s, {u"a b"_s, u"ü"_s}, u"secret\n"_s);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, u"a b,ü"_s);
    EXPECT_EQ(result.err, u"secret\n"_s);

    const RemoteResult unknown = send(u"dance"_s, {});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QLatin1String("Unknown command")));
}

TEST_F(RemoteControlTest, onlyOneInstanceAndOnlyTheUserMayConnect)
{
    RemoteControl first;
    ASSERT_TRUE(first.claimInstance());
    RemoteControl second;
    EXPECT_FALSE(second.claimInstance());
    ASSERT_TRUE(first.listen());
    const QFileInfo socket(RemoteControl::socketPath());
    EXPECT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                      QFileDevice::ReadOther | QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

TEST_F(RemoteControlTest, noInstanceMeansNotConnected)
{
    const RemoteResult result = send(u"list"_s, {});
    EXPECT_FALSE(result.connected);
}

TEST_F(RemoteControlTest, aSocketLeftByACrashedInstanceIsTakenOver)
{
    {
        QFile stale(RemoteControl::socketPath());
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    RemoteControl remote;
    ASSERT_TRUE(remote.claimInstance());
    EXPECT_TRUE(remote.listen());
}

TEST_F(RemoteControlTest, anEndlessRequestIsCutOff)
{
    RemoteControl remote;
    ASSERT_TRUE(remote.claimInstance());
    ASSERT_TRUE(remote.listen());
    QLocalSocket socket;
    socket.connectToServer(RemoteControl::socketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(QByteArray(200 * 1024, 'x'));
    socket.flush();
    EXPECT_TRUE(waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }));
}
