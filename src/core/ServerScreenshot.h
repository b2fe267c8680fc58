// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

namespace glimra {

// A live link that shows a screenshot to anyone who has it, on servers that offer them.
struct ServerShareLink {
    QString id;
    QString url;
    QString expiresAt; // the server's text; empty: the link does not expire

    friend bool operator==(const ServerShareLink&, const ServerShareLink&) = default;
};

// One screenshot stored with the account on the web service.
struct ServerScreenshot {
    qint64 id = 0;
    QString filename;         // the server's own name for the stored file
    QString originalFilename; // the name the file had where it was uploaded from
    qint64 fileSize = 0;
    QString captureType;
    QString uploadedAt; // the server's text, never parsed
    QList<ServerShareLink> shares = {};

    friend bool operator==(const ServerScreenshot&, const ServerScreenshot&) = default;
};

} // namespace glimra
