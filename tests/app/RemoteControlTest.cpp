#include "app/RemoteControl.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
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

    QTemporaryDir m_runtime;
    QByteArray m_saved;
};

} // namespace

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
