// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"

#include "core/AtomicFile.h"
#include "platform/linux/AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace glimra::autostart {

namespace {

// Named like the application's own desktop entry, so desktops show the two as one program.
QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/io.github.glimra.Glimra.desktop");
}

// The installed program by its name when that is what runs, so the entry survives an
// upgrade that moves nothing; a build run from its folder by its full path.
QString programToStart()
{
    const QString current = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(current).fileName();
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty() &&
        QFileInfo(found).canonicalFilePath() == QFileInfo(current).canonicalFilePath())
        return name;
    return current;
}

} // namespace

QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::none_of(argument.begin(), argument.end(),
                     [](QChar c) { return reserved.contains(c); }))
        return escaped;
    QString quoted;
    for (const QChar c : std::as_const(escaped)) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The value itself is a string of the key file: a backslash is written twice, and a line
    // break or tab as its escape, or the entry would end mid-path.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    quoted.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray entryText(const QString& executable)
{
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Glimra\n"
                             "Comment=Screenshots from the tray\n"
                             "Icon=io.github.glimra.Glimra\n"
                             "Exec=") +
           execArgument(executable).toUtf8() +
           QByteArrayLiteral("\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

bool entryStartsProgram(const QByteArray& contents)
{
    bool inMainGroup = false, seenMainGroup = false, starts = true;
    for (QByteArray line : contents.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            seenMainGroup = seenMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            starts = false;
    }
    return seenMainGroup && starts;
}

bool isEnabled()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return entryStartsProgram(file.read(64 * 1024));
}

QString setEnabled(bool enabled)
{
    const QString path = entryPath();
    if (!enabled) {
        if (QFile::remove(path) || !QFileInfo::exists(path))
            return {};
        return QStringLiteral("cannot remove %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    QDir().mkpath(QFileInfo(path).path());
    return writeFileAtomically(path, entryText(programToStart()));
}

} // namespace glimra::autostart
