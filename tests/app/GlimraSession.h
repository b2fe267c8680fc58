// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A private home for a real glimra process, and ways to drive it as a user would: its command
// line, xdotool clicks and the clipboard.
#include "TestSupport.h"
#include "XClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QThread>

namespace glimra::test {

struct CommandResult {
    int exitCode = -1;
    QString out;
    QString err;
};

class GlimraSession : public ::testing::Test {
public:
    GlimraSession()
    {
        for (const char* dir : {"data/Glimra", "config/Glimra", "run", "Pictures/Screenshots"})
            QDir(m_home.path()).mkpath(QString::fromLatin1(dir));
        QFile::setPermissions(path(u"run"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, dir] : {std::pair{"HOME", ""},
                                        {"XDG_DATA_HOME", "/data"},
                                        {"XDG_CONFIG_HOME", "/config"},
                                        {"XDG_RUNTIME_DIR", "/run"},
                                        {"XDG_STATE_HOME", "/state"}})
            m_env.insert(QString::fromLatin1(name), m_home.path() + QLatin1String(dir));
        m_env.remove(u"QT_QPA_PLATFORM"_s);
    }
    ~GlimraSession() override
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000))
                m_app.kill();
            m_app.waitForFinished();
        }
    }

    QString path(const QString& relative) const
    {
        return m_home.path() + QLatin1Char('/') + relative;
    }
    QString library() const { return path(u"data/Glimra"_s); }
    // Replaces the settings file with these lines of its general group.
    bool writeSettings(const QByteArray& lines) const
    {
        return writeFile(path(u"config/Glimra/Glimra.conf"_s), "[General]\n" + lines + '\n');
    }

    CommandResult run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(QStringLiteral(GLIMRA_BIN), args);
        process.waitForStarted();
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Starts the instance and waits until it answers with its whole library.
    void start()
    {
        m_app.setProcessEnvironment(m_env);
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(QStringLiteral(GLIMRA_BIN), {});
        ASSERT_TRUE(m_app.waitForStarted());
        ASSERT_TRUE(
            waitUntil([&] { return run({u"list"_s}).exitCode == 0; }, std::chrono::seconds(20)));
    }

    // What a command prints with --json.
    QJsonDocument json(const QString& command)
    {
        return QJsonDocument::fromJson(run({command, u"--json"_s}).out.toUtf8());
    }
    QJsonArray listJson() { return json(u"list"_s).array(); }

    // Geometry of the visible windows xdotool finds with these search options.
    static QList<QRect> windows(const QStringList& search)
    {
        QList<QRect> rects;
        const QString shapes = QString::fromUtf8(
            runTool(u"xdotool"_s, QStringList{u"search"_s, u"--onlyvisible"_s} + search +
                                      QStringList{u"getwindowgeometry"_s, u"--shell"_s, u"%@"_s}));
        const QRegularExpression shape(u"X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)"_s);
        for (const QRegularExpressionMatch& m : shape.globalMatch(shapes))
            rects.append({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                          m.captured(4).toInt()});
        return rects;
    }

    static std::optional<QRect> visiblePopover()
    {
        for (const QRect& rect : windows({u"--name"_s, u"^Glimra$"_s}))
            if (rect.size() == QSize(360, 480))
                return rect;
        return std::nullopt;
    }

    static void click(QPoint p) { xdotool(u"mousemove %1 %2 click 1"_s.arg(p.x()).arg(p.y())); }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QProcess m_app;
};

} // namespace glimra::test
