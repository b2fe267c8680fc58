// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// The parts of the autostart entry that need no file system, apart for the tests.
namespace glimra::autostart {

// The entry that starts `executable` at login.
QByteArray entryText(const QString& executable);
// Whether an entry with these contents starts the program: a desktop may keep the file and
// switch it off with Hidden=true (or GNOME's own key) instead of removing it.
bool entryStartsProgram(const QByteArray& contents);
// An argument of Exec= as the desktop entry format wants it quoted and escaped.
QString execArgument(const QString& argument);

} // namespace glimra::autostart
