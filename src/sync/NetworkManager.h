// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/Protocol.h"

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace glimra {

// The application's only client of the web service: one request per call, no state between
// calls, no retry. The session token is always passed in; this class never reads the store.
//
// Every operation returns at once. Its completion runs exactly once, later, on the thread
// that owns this object (the GUI thread), never from inside the call itself, even when the
// request could not be made at all. Calls still in flight when the manager is destroyed are
// dropped without running their completion.
//
// Which failures carry a message, and which message, is decided in sync/Protocol.h. Server
// replies are JSON objects; the records inside them (account, screenshot) are passed on
// undecoded for their users to interpret.
class NetworkManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkManager)

public:
    using AuthCompletion = std::function<void(const sync::AuthReply&)>;
    using ValidateCompletion = std::function<void(const sync::ValidateReply&)>;
    using UploadCompletion = std::function<void(const sync::UploadReply&)>;
    using ListCompletion = std::function<void(const sync::ListReply&)>;
    using DeleteCompletion = std::function<void(const sync::DeleteReply&)>;
    using ShareCompletion = std::function<void(const sync::ShareReply&)>;
    using UnshareCompletion = std::function<void(const sync::UnshareReply&)>;
    // Takes the next piece of a streamed download; false stops the transfer as failed.
    using DownloadSink = std::function<bool(QByteArrayView piece)>;
    // A download's reply, with the number of bytes the sink took instead of the bytes.
    using StreamedCompletion = std::function<void(const sync::DownloadReply&, qint64 bytes)>;

    static constexpr std::chrono::milliseconds kDefaultTimeout{60'000};

    // The companion server's address during development; the settings override it.
    static QString defaultOrigin();
    // Settings key "serverOrigin", or defaultOrigin() when it is missing or empty.
    static QString configuredOrigin();
    // Settings key "serverCACertificates": path of an extra PEM bundle, or empty.
    static QString configuredCaCertificatesFile();
    // The production instance: origin and extra certificates from the settings.
    static NetworkManager* fromSettings(QObject* parent = nullptr);

    // origin is scheme, host and optional port ("https://glimra.example:8443"). An origin that
    // is not https, or plain http to anything but this machine, makes every call fail as if
    // the endpoint did not parse ("Invalid URL" where a message is given) and sends nothing.
    explicit NetworkManager(const QString& origin, QObject* parent = nullptr);
    ~NetworkManager() override;

    QString authUrl() const { return m_authUrl; }
    QString syncUrl() const { return m_syncUrl; }
    // The origin every call goes to, as trimmedOrigin gives it.
    QString origin() const { return m_origin; }

    // Whether the constructor would accept origin for real calls (see above).
    static bool isUsableOrigin(const QString& origin);
    // Points later calls at another server; calls already sent finish where they went.
    // Refuses (false, nothing changes) an origin that isUsableOrigin rejects.
    bool setOrigin(const QString& origin);

    // Trusts the certificates of a PEM bundle in addition to the system ones, for a
    // self-hosted server with a private CA. Verification itself is never switched off.
    // Returns false (and trusts nothing new) when the file holds no certificate.
    bool addCaCertificates(const QString& pemPath);
    // A JSON call fails when its reply is not complete within this time; an upload or a
    // download only when no byte has moved for this long, so large files still go through.
    // Tests shorten it.
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // POST {"action":"login","username","password"} to the auth endpoint. Success: text is the
    // session token (absent if the reply had none), user the account record ({} if none).
    void login(const QString& username, const QString& password, AuthCompletion completion);
    // As login, with "action":"register" and "email".
    void registerAccount(const QString& username, const QString& email, const QString& password,
                         AuthCompletion completion);
    // Checks a stored token. Success carries the account record; failure never a message.
    void validate(const QString& token, ValidateCompletion completion);
    // Asks the server to revoke the token; sent once, and whatever comes back is dropped.
    void logout(const QString& token);
    // Sends the image file as a multipart form (token, action, capture_type,
    // original_filename, file). An unreadable file fails without a message or request.
    void uploadScreenshot(const QString& token, const QString& filePath, const QString& captureType,
                          UploadCompletion completion);
    // The account's screenshot records in the server's order; failure never has a message.
    void listServerScreenshots(const QString& token, ListCompletion completion);
    void deleteServerScreenshot(const QString& token, qint64 screenshotId,
                                DeleteCompletion completion);
    // Share links, an extension of the sync endpoint that older servers answer as an unknown
    // action (see decodeShareReply). A new link to the screenshot, expiring after lifetime
    // seconds, or never without one:
    void shareScreenshot(const QString& token, qint64 screenshotId,
                         std::optional<qint64> lifetimeSeconds, ShareCompletion completion);
    // Revokes every link to the screenshot.
    void unshareScreenshot(const QString& token, qint64 screenshotId, UnshareCompletion completion);
    // GET with action, token and id in the query, the file's bytes handed to sink as they
    // arrive: only a 200 reply's body reaches it, and the reply is judged by the rules of
    // classifyDownload, so a short error text that sink has already taken still ends in
    // failure. The reply's data stays empty.
    void downloadScreenshotTo(const QString& token, qint64 screenshotId, DownloadSink sink,
                              StreamedCompletion completion);

Q_SIGNALS:
    void originChanged();

private:
    using TransferHandler = std::function<void(const sync::Transfer&)>;

    void pointAt(const QString& origin);

    QNetworkRequest makeRequest(const QUrl& url) const;
    void postJson(const std::optional<QUrl>& url, const QJsonObject& body, TransferHandler handler,
                  std::function<void()> onInvalidUrl);
    struct TrackOptions {
        // The whole call must be over by then.
        std::optional<std::chrono::milliseconds> deadline;
        DownloadSink sink;
    };
    void track(QNetworkReply* reply, qint64 maxBytes, TransferHandler handler,
               TrackOptions options = {});
    void later(std::function<void()> call);

    QNetworkAccessManager* m_access;
    QString m_origin;
    QString m_authUrl;
    QString m_syncUrl;
    std::optional<QUrl> m_auth;
    std::optional<QUrl> m_sync;
    QList<QSslCertificate> m_extraCertificates;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
};

} // namespace glimra
