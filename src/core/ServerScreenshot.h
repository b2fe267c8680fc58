// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace glimra {

// One screenshot stored with the account on the web service.
struct ServerScreenshot {
    qint64 id = 0;
    QString filename;         // the server's own name for the stored file
    QString originalFilename; // the name the file had where it was uploaded from
    qint64 fileSize = 0;
    QString captureType;
    QString uploadedAt; // the server's text, never parsed

    friend bool operator==(const ServerScreenshot&, const ServerScreenshot&) = default;
};

} // namespace glimra
