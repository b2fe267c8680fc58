// SPDX-License-Identifier: GPL-3.0-or-later
// Two glimra instances, each in a home of its own with its own token file (no session bus, so
// no shared keyring), syncing through real glimra-servers on 127.0.0.1.
#include "GlimraSession.h"

#include <httplib.h>

#include <unistd.h>

namespace {

const QByteArray kPassword = "correct horse battery";

// One glimra; a test drives several.
class Instance final : public GlimraSession {
public:
    explicit Instance(const QString& origin)
    {
        m_env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/glimra-no-bus"_s);
        EXPECT_TRUE(writeSettings("serverOrigin=" + origin.toUtf8()));
    }
    void TestBody() override {}

    QJsonArray serverList() { return json(u"server-list"_s).array(); }
};

// What a started server or bucket stand-in names after "listening on": its address or port.
QString listeningOn(QProcess& process)
{
    QByteArray output;
    EXPECT_TRUE(waitUntil(
        [&] {
            output += process.readAllStandardOutput();
            return output.contains("listening on") && output.contains('\n');
        },
        20s))
        << output.toStdString();
    return QString::fromLatin1(output).section(u"listening on "_s, 1).section(u' ', 0, 0).trimmed();
}

QString startServer(QProcess& server, const QString& data, const QStringList& more = {})
{
    server.start(QStringLiteral(GLIMRA_SERVER_BIN),
                 QStringList{u"--listen"_s, u"127.0.0.1:0"_s, u"--data"_s, data} + more);
    return listeningOn(server);
}

// Either one server with SQLite and its data folder, or (true) two servers side by side on one
// PostgreSQL database and one S3-compatible bucket, each machine talking to a different one.
class SyncEndToEnd : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!GetParam()) {
            m_originA = m_originB = startServer(m_servers[0], m_data[0].path());
            return;
        }
        if (!QFile::exists(u"/usr/lib/postgresql/15/bin/initdb"_s))
            GTEST_SKIP() << "PostgreSQL 15 needed for servers side by side";
        if (QProcess::execute(u"node"_s, {u"-e"_s, u"process.exit(parseInt(process."
                                                   "versions.node) >= 20 ? 0 : 1)"_s}) != 0 ||
            !QFile::exists(QStringLiteral(GLIMRA_SERVER_TESTS "/s3/node_modules")))
            GTEST_SKIP() << "Node 20 or later needed for the S3 stand-in";
        // Below /tmp itself: the postgres user must reach it.
        m_cluster = u"/tmp/glimra-sync-pg-"_s + QString::number(::getpid());
        ASSERT_EQ(QProcess::execute(QStringLiteral(GLIMRA_SERVER_TESTS "/pg-cluster.sh"),
                                    {u"start"_s, m_cluster}),
                  0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"AWS_ACCESS_KEY_ID"_s, u"GLIMRAE2E"_s);
        env.insert(u"AWS_SECRET_ACCESS_KEY"_s, u"glimra-e2e-secret"_s);
        env.insert(u"NODE_OPTIONS"_s, u"--openssl-legacy-provider"_s);
        m_bucket.setProcessEnvironment(env);
        // It ends when its standard input does, even if this process dies first.
        m_bucket.start(u"node"_s,
                       {QStringLiteral(GLIMRA_SERVER_TESTS "/s3/stand-in.js"), m_bucketDir.path(),
                        u"e2e"_s, u"GLIMRAE2E"_s, u"glimra-e2e-secret"_s, u"--exit-with-stdin"_s});
        const QStringList shared{
            u"--database"_s, u"postgresql://postgres@/postgres?host="_s + m_cluster, u"--storage"_s,
            u"s3://e2e?endpoint=http://127.0.0.1:"_s + listeningOn(m_bucket)};
        for (QProcess& server : m_servers)
            server.setProcessEnvironment(env);
        m_originA = startServer(m_servers[0], m_data[0].path(), shared);
        m_originB = startServer(m_servers[1], m_data[1].path(), shared);
    }
    ~SyncEndToEnd() override
    {
        for (QProcess& server : m_servers) {
            server.terminate();
            server.waitForFinished(5000);
        }
        m_bucket.kill();
        m_bucket.waitForFinished(5000);
        if (!m_cluster.isEmpty())
            QProcess::execute(QStringLiteral(GLIMRA_SERVER_TESTS "/pg-cluster.sh"),
                              {u"stop"_s, m_cluster});
    }

    QTemporaryDir m_data[2];
    QProcess m_servers[2];
    QTemporaryDir m_bucketDir;
    QProcess m_bucket;
    QString m_cluster;
    QString m_originA;
    QString m_originB;
};

} // namespace

TEST_P(SyncEndToEnd, aCaptureArrivesOnTheOtherMachineAndAServerDeletionStaysOnItsOwn)
{
    Instance a(m_originA), b(m_originB);
    a.start();
    const CommandResult registered =
        a.run({u"register"_s, u"alice"_s, u"alice@example.org"_s}, kPassword + '\n');
    ASSERT_EQ(registered.exitCode, 0) << registered.err.toStdString();
    const CommandResult captured = a.run({u"capture"_s, u"full"_s});
    ASSERT_EQ(captured.exitCode, 0) << captured.err.toStdString();
    const QString shot = captured.out.trimmed();
    const QString name = QFileInfo(shot).fileName();
    ASSERT_TRUE(waitUntil(
        [&] { return a.listJson()[0].toObject().value(u"syncStatus"_s) == u"synced"_s; }, 20s));
    const QJsonArray records = a.serverList();
    ASSERT_EQ(records.size(), 1);
    const QJsonObject record = records[0].toObject();
    EXPECT_EQ(record.value(u"originalFilename"_s).toString(), name);
    EXPECT_EQ(record.value(u"fileSize"_s).toInteger(), QFileInfo(shot).size());
    EXPECT_EQ(a.listJson()[0].toObject().value(u"serverId"_s).toString(),
              QString::number(record.value(u"id"_s).toInteger()));

    // The other machine signs in and finds the screenshot under its name, byte for byte.
    b.start();
    const CommandResult wrong = b.run({u"login"_s, u"alice"_s}, "nope\n");
    EXPECT_EQ(std::pair(wrong.exitCode, wrong.err),
              std::pair(1, u"Invalid username or password\n"_s));
    ASSERT_EQ(b.run({u"login"_s, u"alice"_s}, kPassword + '\n').exitCode, 0);
    const QString copy = b.library() + u'/' + name;
    ASSERT_TRUE(waitUntil([&] { return b.listJson().size() == 1; }, 20s));
    EXPECT_EQ(b.listJson()[0].toObject().value(u"path"_s).toString(), copy);
    EXPECT_EQ(b.listJson()[0].toObject().value(u"syncStatus"_s).toString(), u"synced"_s);
    const QByteArray bytes = readFile(shot);
    EXPECT_EQ(readFile(copy), bytes);
    const CommandResult synced = b.run({u"sync"_s});
    EXPECT_EQ(synced.exitCode, 0);
    EXPECT_EQ(synced.out, u"1 on the server, 0 uploaded, 0 downloaded\n"_s);
    EXPECT_EQ(entriesOf(b.library()), QStringList{name});

    // A share link shows the picture to anyone who has it, until it is revoked.
    const QString id = QString::number(record.value(u"id"_s).toInteger());
    const CommandResult shared = a.run({u"share"_s, id, u"--expires"_s, u"7d"_s});
    ASSERT_EQ(shared.exitCode, 0) << shared.err.toStdString();
    const QUrl link(shared.out.trimmed());
    httplib::Client web(link.host().toStdString(), link.port());
    const auto fetch = [&] {
        const httplib::Result got = web.Get(link.path().toStdString());
        return got ? std::pair(got->status, QByteArray::fromStdString(got->body))
                   : std::pair(0, QByteArray());
    };
    EXPECT_EQ(fetch(), std::pair(200, bytes));
    EXPECT_EQ(a.serverList()[0].toObject().value(u"shares"_s), QJsonArray{link.toString()});
    EXPECT_EQ(a.run({u"unshare"_s, id}).out, u"1 share link revoked\n"_s);
    EXPECT_EQ(fetch().first, 404);

    // Deleted from the server on the first: record and file go there, the second keeps its
    // copy, and a full sync does not bring it back to the server.
    const CommandResult deleted =
        a.run({u"server-delete"_s, QString::number(record.value(u"id"_s).toInteger())});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err.toStdString();
    EXPECT_EQ(deleted.out, u"Deleted from server\n"_s);
    EXPECT_FALSE(QFile::exists(shot));
    EXPECT_TRUE(a.listJson().isEmpty());
    EXPECT_TRUE(a.serverList().isEmpty());
    EXPECT_EQ(b.run({u"sync"_s}).out, u"0 on the server, 0 uploaded, 0 downloaded\n"_s);
    EXPECT_EQ(readFile(copy), bytes);
    EXPECT_EQ(b.listJson().size(), 1);
    EXPECT_EQ(b.run({u"logout"_s}).exitCode, 0);
    EXPECT_EQ(b.run({u"sync"_s}).exitCode, 1);
    const CommandResult signedOut = b.run({u"share"_s, id});
    EXPECT_EQ(std::pair(signedOut.exitCode, signedOut.err), std::pair(1, u"Signed out\n"_s));
}

INSTANTIATE_TEST_SUITE_P(Servers, SyncEndToEnd, ::testing::Values(false, true),
                         [](const auto& each) {
                             return each.param ? "twoOnPostgresAndABucket" : "one";
                         });
