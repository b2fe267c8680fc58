// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

class QJsonObject;

namespace glimra {

// The account record as the server last reported it; the client never counts anything
// itself. Counts the server left out stay absent rather than pretending to be 0.
struct UserInfo {
    qint64 id = 0;
    QString username;
    QString email;
    std::optional<qint64> screenshotCount;
    std::optional<qint64> storageUsedBytes;

    // Reads "id", "username", "email", "screenshot_count" and "storage_used_bytes" of the
    // "user" object of an auth reply; a member that is missing or of another type falls back
    // to 0, the empty string or absent.
    static UserInfo fromJson(const QJsonObject& user);

    friend bool operator==(const UserInfo&, const UserInfo&) = default;
};

} // namespace glimra

Q_DECLARE_METATYPE(glimra::UserInfo)
