// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/Protocol.h"

#include "core/ImageFormat.h"
#include "core/JsonMembers.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>

namespace glimra::sync {

namespace {

enum class Stage { TransferFailed, NoBody, NotAnObject, Parsed };

struct ParsedReply {
    Stage stage = Stage::NoBody;
    QString transferError;
    QJsonObject object;
};

ParsedReply parseJsonReply(const Transfer& transfer)
{
    if (transfer.error)
        return {Stage::TransferFailed, *transfer.error, {}};
    if (!transfer.body)
        return {Stage::NoBody, {}, {}};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*transfer.body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return {Stage::NotAnObject, {}, {}};
    return {Stage::Parsed, {}, doc.object()};
}

QString errorOr(const QJsonObject& reply, const QString& fallback)
{
    return stringMember(reply, QLatin1StringView("error")).value_or(fallback);
}

// The stages that end a share or unshare call before its own members are read; nothing when
// the reply succeeded.
std::optional<QString> shareFailure(const Transfer& transfer, QJsonObject& reply)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    if (parsed.stage == Stage::TransferFailed)
        return parsed.transferError;
    if (parsed.stage != Stage::Parsed)
        return QStringLiteral("Invalid server response");
    reply = parsed.object;
    if (isSuccessReply(reply))
        return std::nullopt;
    const QString error = errorOr(reply, QStringLiteral("Sharing failed"));
    // What every server says to an action it was built without.
    return error == QLatin1StringView("Unknown action") ? QString::fromUtf16(kNoShareLinks) : error;
}

std::optional<ServerShareLink> decodeShareLink(const QJsonObject& object)
{
    const std::optional<QString> id = stringMember(object, QLatin1StringView("id"));
    const std::optional<QString> url = stringMember(object, QLatin1StringView("url"));
    // The address goes to the clipboard and on to a browser: only a web page will do.
    const QUrl parsed(url.value_or(QString()), QUrl::StrictMode);
    if (!id || id->isEmpty() || !parsed.isValid() || parsed.host().isEmpty() ||
        (parsed.scheme() != QLatin1StringView("https") &&
         parsed.scheme() != QLatin1StringView("http")))
        return std::nullopt;
    return ServerShareLink{
        *id, *url, stringMember(object, QLatin1StringView("expires_at")).value_or(QString())};
}

} // namespace

ShareReply decodeShareReply(const Transfer& transfer)
{
    QJsonObject reply;
    if (std::optional<QString> failure = shareFailure(transfer, reply))
        return {false, std::nullopt, *failure};
    std::optional<ServerShareLink> link =
        decodeShareLink(reply.value(QLatin1StringView("share")).toObject());
    if (!link)
        return {false, std::nullopt, QStringLiteral("Invalid server response")};
    return {true, std::move(link), {}};
}

UnshareReply decodeUnshareReply(const Transfer& transfer)
{
    QJsonObject reply;
    if (std::optional<QString> failure = shareFailure(transfer, reply))
        return {false, 0, *failure};
    return {true,
            std::max<qint64>(0, integerMember(reply, QLatin1StringView("revoked")).value_or(0)),
            {}};
}

QList<ServerShareLink> decodeShareLinks(const QJsonValue& shares)
{
    QList<ServerShareLink> links;
    for (const QJsonValue& share : shares.toArray()) {
        if (std::optional<ServerShareLink> link = decodeShareLink(share.toObject()))
            links.append(std::move(*link));
    }
    return links;
}

bool isSuccessReply(const QJsonObject& reply)
{
    const QJsonValue success = reply.value(QLatin1StringView("success"));
    if (success.isBool())
        return success.toBool();
    return success.isDouble() && success.toDouble() == 1.0;
}

AuthReply decodeAuthReply(AuthAction action, const Transfer& transfer)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    switch (parsed.stage) {
    case Stage::TransferFailed:
        return {false, parsed.transferError, std::nullopt};
    case Stage::NoBody:
        return {false, QStringLiteral("No data received"), std::nullopt};
    case Stage::NotAnObject:
        return {false, QStringLiteral("Invalid server response"), std::nullopt};
    case Stage::Parsed:
        break;
    }
    const QJsonObject& reply = parsed.object;
    if (!isSuccessReply(reply)) {
        const QString fallback = action == AuthAction::Login
                                     ? QStringLiteral("Login failed")
                                     : QStringLiteral("Registration failed");
        return {false, errorOr(reply, fallback), std::nullopt};
    }
    const QJsonValue user = reply.value(QLatin1StringView("user"));
    return {true, stringMember(reply, QLatin1StringView("token")),
            user.isObject() ? user.toObject() : QJsonObject()};
}

ValidateReply decodeValidateReply(const Transfer& transfer)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    if (parsed.stage != Stage::Parsed || !isSuccessReply(parsed.object))
        return {};
    const QJsonValue user = parsed.object.value(QLatin1StringView("user"));
    return {true, user.isObject() ? user.toObject() : QJsonObject()};
}

UploadReply decodeUploadReply(const Transfer& transfer)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    switch (parsed.stage) {
    case Stage::TransferFailed:
        return {false, parsed.transferError, std::nullopt};
    case Stage::NoBody:
        return {false, QStringLiteral("Upload failed"), std::nullopt};
    case Stage::NotAnObject:
        return {false, QStringLiteral("Invalid server response"), std::nullopt};
    case Stage::Parsed:
        break;
    }
    if (!isSuccessReply(parsed.object))
        return {false, errorOr(parsed.object, QStringLiteral("Upload failed")), std::nullopt};
    const QJsonValue screenshot = parsed.object.value(QLatin1StringView("screenshot"));
    if (!screenshot.isObject())
        return {true, std::nullopt, std::nullopt};
    return {true, std::nullopt, screenshot.toObject()};
}

ListReply decodeListReply(const Transfer& transfer)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    if (parsed.stage != Stage::Parsed || !isSuccessReply(parsed.object))
        return {};
    const QJsonValue member = parsed.object.value(QLatin1StringView("screenshots"));
    if (!member.isArray())
        return {};
    const QJsonArray array = member.toArray();
    QList<QJsonObject> screenshots;
    screenshots.reserve(array.size());
    for (const QJsonValue& element : array) {
        // One malformed entry spoils the whole listing: a partial list would make the sync
        // engine believe the server lacks files it actually has.
        if (!element.isObject())
            return {};
        screenshots.append(element.toObject());
    }
    return {true, std::move(screenshots)};
}

DeleteReply decodeDeleteReply(const Transfer& transfer)
{
    const ParsedReply parsed = parseJsonReply(transfer);
    switch (parsed.stage) {
    case Stage::TransferFailed:
        return {false, parsed.transferError};
    case Stage::NoBody:
    case Stage::NotAnObject:
        return {false, QStringLiteral("Delete failed")};
    case Stage::Parsed:
        break;
    }
    if (!isSuccessReply(parsed.object))
        return {false, errorOr(parsed.object, QStringLiteral("Delete failed"))};
    return {true, std::nullopt};
}

DownloadReply classifyDownload(const Transfer& transfer)
{
    if (transfer.error)
        return {false, std::nullopt, *transfer.error};
    if (!transfer.body)
        return {false, std::nullopt, QStringLiteral("Download failed")};
    if (transfer.httpStatus && *transfer.httpStatus != 200) {
        return {false, std::nullopt,
                QStringLiteral("Download failed (HTTP ") + QString::number(*transfer.httpStatus) +
                    u')'};
    }
    const QByteArray& body = *transfer.body;
    // The sync endpoint answers some failures with status 200 and a short plain-text body;
    // anything of 200 bytes or more is taken to be the image.
    if (body.size() < 200) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder(body);
        if (!decoder.hasError()) {
            for (const auto marker : {u"not found", u"Unauthorized", u"Invalid"}) {
                if (text.contains(QStringView(marker)))
                    return {false, std::nullopt, text};
            }
        }
    }
    return {true, body, std::nullopt};
}

bool isLoopbackHost(const QString& host)
{
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

std::optional<QUrl> endpointUrl(const QString& origin, QStringView path)
{
    const QUrl url(trimmedOrigin(origin) + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https")
        return url;
    if (scheme == u"http" && isLoopbackHost(url.host()))
        return url;
    return std::nullopt;
}

QUrl downloadUrl(const QUrl& syncUrl, const QString& token, qint64 screenshotId)
{
    const QByteArray query = "action=download&token=" + QUrl::toPercentEncoding(token) +
                             "&id=" + QByteArray::number(screenshotId);
    QUrl url = syncUrl;
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QString newBoundary()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString trimmedOrigin(const QString& origin)
{
    QString base = origin.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

namespace {

// Library files may carry any name the file system allows; a quote or a line break inside
// the header parameter would let the name end the header early and forge form fields.
// Browsers escape exactly these three the same way.
QByteArray headerSafeFileName(const QString& fileName)
{
    QByteArray out;
    const QByteArray raw = fileName.toUtf8();
    out.reserve(raw.size());
    for (const char c : raw) {
        if (c == '"')
            out += "%22";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

} // namespace

QByteArray multipartBody(const QString& boundary, const QString& token, const QString& captureType,
                         const QString& fileName, const QByteArray& fileBytes)
{
    const QByteArray crlf = "\r\n";
    const QByteArray delimiter = "--" + boundary.toUtf8() + crlf;
    // An explicit return type: a deduced one would be a string-builder expression that
    // outlives the temporaries it refers to.
    const auto field = [&](const char* name, const QByteArray& value) -> QByteArray {
        return delimiter + "Content-Disposition: form-data; name=\"" + name + '"' + crlf + crlf +
               value + crlf;
    };
    QByteArray body;
    body.reserve(fileBytes.size() + 1024);
    body += field("token", token.toUtf8());
    body += field("action", "upload");
    body += field("capture_type", captureType.toUtf8());
    body += field("original_filename", fileName.toUtf8());
    body += delimiter;
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"" +
            headerSafeFileName(fileName) + '"' + crlf;
    body += "Content-Type: " + mimeType(imageFormatFor(fileName)).toUtf8() + crlf + crlf;
    body += fileBytes;
    body += crlf;
    body += "--" + boundary.toUtf8() + "--" + crlf;
    return body;
}

} // namespace glimra::sync
