// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <ctime>

namespace glimra::capture {

struct PortalPicture {
    QByteArray bytes;
    QString error; // one line; empty when bytes hold the picture
};

// Reads the picture the portal named in its answer and removes the portal's file, so that
// one capture leaves one file, in the library. The file is taken only when it is plainly the
// one this request made: a regular file (a link or a pipe is not followed), the user's own,
// and modified after the request began (`began`, on the file system's clock). Anything else
// is left where it is and the capture fails, rather than saving someone else's picture or
// deleting a file that is not ours. Removal failures are ignored: the picture is safe.
PortalPicture takePortalPicture(const QString& uri, const timespec& began);

} // namespace glimra::capture
