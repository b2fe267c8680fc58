// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wire format of the web service, kept free of any network object so that tests and the
// fuzzer can drive every decoding rule with plain bytes.

#include "core/ServerScreenshot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace glimra::sync {

inline constexpr auto kAuthPath = u"/glimra/api/auth.php";
inline constexpr auto kSyncPath = u"/glimra/api/sync.php";

// Larger replies are cut off: a hostile or broken server must not be able to exhaust memory.
inline constexpr qint64 kMaxJsonReplyBytes = 16 * 1024 * 1024;
inline constexpr qint64 kMaxDownloadBytes = 512 * 1024 * 1024;

// What came back from one request, before any operation-specific meaning is given to it.
struct Transfer {
    // Set when the request never produced a usable reply (refused, TLS, timeout, too large).
    std::optional<QString> error;
    // The reply body; absent only when nothing at all arrived.
    std::optional<QByteArray> body;
    // The HTTP status when the reply was an HTTP response.
    std::optional<int> httpStatus;
};

// login and registration: on success `text` is the session token (absent when the reply had
// none) and `user` the account record; on failure `text` is the message for the user.
struct AuthReply {
    bool ok = false;
    std::optional<QString> text;
    std::optional<QJsonObject> user;
};

struct ValidateReply {
    bool ok = false;
    std::optional<QJsonObject> user;
};

struct UploadReply {
    bool ok = false;
    std::optional<QString> message;
    std::optional<QJsonObject> screenshot;
};

struct ListReply {
    bool ok = false;
    std::optional<QList<QJsonObject>> screenshots;
};

struct DeleteReply {
    bool ok = false;
    std::optional<QString> message;
};

// A share link's address, or why there is none: the server's message, or kNoShareLinks from
// a server that does not know the action.
struct ShareReply {
    bool ok = false;
    std::optional<ServerShareLink> link;
    QString message;
};

struct UnshareReply {
    bool ok = false;
    qint64 revoked = 0;
    QString message;
};

inline constexpr auto kNoShareLinks = u"This server does not offer share links";

struct DownloadReply {
    bool ok = false;
    std::optional<QByteArray> data;
    std::optional<QString> message;
};

enum class AuthAction { Login, Register };

// Only the boolean true or the number 1 count; the string "true" deliberately does not.
bool isSuccessReply(const QJsonObject& reply);

AuthReply decodeAuthReply(AuthAction action, const Transfer& transfer);
ValidateReply decodeValidateReply(const Transfer& transfer);
UploadReply decodeUploadReply(const Transfer& transfer);
ListReply decodeListReply(const Transfer& transfer);
DeleteReply decodeDeleteReply(const Transfer& transfer);
DownloadReply classifyDownload(const Transfer& transfer);
ShareReply decodeShareReply(const Transfer& transfer);
UnshareReply decodeUnshareReply(const Transfer& transfer);
// The links of a screenshot record's "shares" with an id and an http(s) address; a link that
// lacks either is left out, as is anything that is not a list of them.
QList<ServerShareLink> decodeShareLinks(const QJsonValue& shares);

// The URL of one endpoint under origin, or nothing when it must not be used: it does not
// parse, is neither https nor http, or is plain http to a host other than this machine
// (the password and the token would cross the network in clear).
// The origin as the user wrote it, without surrounding blanks and trailing slashes.
QString trimmedOrigin(const QString& origin);
std::optional<QUrl> endpointUrl(const QString& origin, QStringView path);
bool isLoopbackHost(const QString& host);

// The sync endpoint with action, token and id as a query; every byte outside the unreserved
// set is percent-encoded, so a "+" in a token is not read back as a space by the server.
QUrl downloadUrl(const QUrl& syncUrl, const QString& token, qint64 screenshotId);

// A fresh random UUID, upper-case, 36 characters: the multipart boundary of one upload.
QString newBoundary();
QByteArray multipartBody(const QString& boundary, const QString& token, const QString& captureType,
                         const QString& fileName, const QByteArray& fileBytes);

} // namespace glimra::sync
