// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/NetworkManager.h"

#include "core/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

#include <memory>

namespace glimra {

using namespace sync;

namespace {

// Qt reports an HTTP error status as a reply error. The service gives meaning to the body
// alone, so exactly the error Qt derives from the status is not a failed transfer; any other
// error (a broken body, a failed decompression) still is, even on a 200 reply.
QNetworkReply::NetworkError errorForStatus(int status)
{
    using E = QNetworkReply::NetworkError;
    switch (status) {
    case 400:
    case 418:
        return E::ProtocolInvalidOperationError;
    case 401:
        return E::AuthenticationRequiredError;
    case 403:
        return E::ContentAccessDenied;
    case 404:
        return E::ContentNotFoundError;
    case 405:
        return E::ContentOperationNotPermittedError;
    case 407:
        return E::ProxyAuthenticationRequiredError;
    case 409:
        return E::ContentConflictError;
    case 410:
        return E::ContentGoneError;
    case 500:
        return E::InternalServerError;
    case 501:
        return E::OperationNotImplementedError;
    case 503:
        return E::ServiceUnavailableError;
    default:
        if (status > 500)
            return E::UnknownServerError;
        if (status >= 400)
            return E::UnknownContentError;
        return E::NoError;
    }
}

struct ReplyState {
    // The whole body, or with a sink only its first bytes: enough to classify the reply.
    QByteArray body;
    qint64 total = 0;
    std::optional<QString> abortReason;
    bool finished = false;
};

// A streamed download keeps this much of the body in memory: the length below which a reply
// may still be one of the service's short plain-text errors.
constexpr qsizetype kClassifiedHead = 200;

Transfer transferOf(QNetworkReply* reply, ReplyState& state)
{
    Transfer transfer;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        transfer.httpStatus = status.toInt();
    const QNetworkReply::NetworkError code = reply->error();
    if (state.abortReason) {
        transfer.error = state.abortReason;
    } else if (code == QNetworkReply::OperationCanceledError) {
        // Nothing here cancels a reply but the transfer timeout, and Qt describes that as a
        // cancellation the user never asked for.
        transfer.error = NetworkManager::tr("The request timed out");
    } else if (code != QNetworkReply::NoError &&
               !(transfer.httpStatus && code == errorForStatus(*transfer.httpStatus))) {
        transfer.error = reply->errorString();
    } else {
        transfer.body = std::move(state.body);
    }
    return transfer;
}

} // namespace

QString NetworkManager::defaultOrigin()
{
    return QStringLiteral("http://localhost:8787");
}

QString NetworkManager::configuredOrigin()
{
    const QString origin = openSettings()->value(settings::kServerOrigin).toString();
    return origin.trimmed().isEmpty() ? defaultOrigin() : origin;
}

QString NetworkManager::configuredCaCertificatesFile()
{
    return openSettings()->value(settings::kServerCACertificates).toString();
}

NetworkManager* NetworkManager::fromSettings(QObject* parent)
{
    auto* manager = new NetworkManager(configuredOrigin(), parent);
    const QString bundle = configuredCaCertificatesFile();
    if (!bundle.isEmpty())
        manager->addCaCertificates(bundle);
    return manager;
}

NetworkManager::NetworkManager(const QString& origin, QObject* parent)
    : QObject(parent), m_access(new QNetworkAccessManager(this))
{
    pointAt(origin);
    // A redirect must meet the same rule as the origin, or a loopback server could bounce
    // the password to a remote host in clear.
    m_access->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
}

NetworkManager::~NetworkManager() = default;

void NetworkManager::pointAt(const QString& origin)
{
    m_origin = trimmedOrigin(origin);
    m_authUrl = m_origin + kAuthPath;
    m_syncUrl = m_origin + kSyncPath;
    m_auth = endpointUrl(origin, kAuthPath);
    m_sync = endpointUrl(origin, kSyncPath);
}

bool NetworkManager::isUsableOrigin(const QString& origin)
{
    return endpointUrl(origin, kAuthPath) && endpointUrl(origin, kSyncPath);
}

bool NetworkManager::setOrigin(const QString& origin)
{
    if (!isUsableOrigin(origin))
        return false;
    if (trimmedOrigin(origin) == m_origin)
        return true;
    pointAt(origin);
    Q_EMIT originChanged();
    return true;
}

bool NetworkManager::addCaCertificates(const QString& pemPath)
{
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromPath(pemPath, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    if (certificates.isEmpty())
        return false;
    m_extraCertificates += certificates;
    return true;
}

QNetworkRequest NetworkManager::makeRequest(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(m_timeout.count()));
    // The service identifies the user by the token it is given, never by a cookie.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    if (!m_extraCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + m_extraCertificates);
        request.setSslConfiguration(tls);
    }
    return request;
}

void NetworkManager::later(std::function<void()> call)
{
    QTimer::singleShot(0, this, std::move(call));
}

void NetworkManager::track(QNetworkReply* reply, qint64 maxBytes, TransferHandler handler,
                           TrackOptions options)
{
    // Qt would otherwise buffer the whole reply before the size check could see it.
    reply->setReadBufferSize(1024 * 1024);
    auto state = std::make_shared<ReplyState>();
    // Aborting from inside Qt's own signal emission makes it report the error twice; the
    // abort waits for the event loop, and whatever arrives meanwhile is dropped.
    const auto abortWith = [reply, state](const QString& reason) {
        if (state->abortReason)
            return;
        state->abortReason = reason;
        state->body.clear();
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    };
    const QString tooLarge = tr("The server's reply is too large");

    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maxBytes, abortWith, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes)
            abortWith(tooLarge);
    });
    // Takes one piece of the body: into memory, or, for a download with a sink, into the sink
    // once the status says the body is the file (another status's body is only classified).
    const auto take = [reply, maxBytes, state, abortWith, tooLarge,
                       sink = std::move(options.sink)](const QByteArray& piece) {
        if (state->abortReason || piece.isEmpty())
            return;
        state->total += piece.size();
        if (state->total > maxBytes)
            return abortWith(tooLarge);
        if (!sink) {
            state->body += piece;
            return;
        }
        if (state->body.size() < kClassifiedHead)
            state->body +=
                piece.first(std::min(piece.size(), kClassifiedHead - state->body.size()));
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && status.toInt() == 200 && !sink(piece))
            abortWith(tr("Cannot save the download"));
    };
    connect(reply, &QNetworkReply::readyRead, reply, [reply, take] { take(reply->readAll()); });
    if (options.deadline) {
        // Idle time alone would let a server that drips a byte now and then hold a call open
        // for ever.
        QTimer::singleShot(*options.deadline, reply,
                           [abortWith] { abortWith(tr("The request timed out")); });
    }
    // Judged against where the request was at that moment: Qt may already report the
    // target as the reply's address.
    connect(reply, &QNetworkReply::redirected, reply,
            [reply, abortWith, from = reply->url()](const QUrl& target) mutable {
                const QString scheme = target.scheme().toLower();
                const bool wasEncrypted = from.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
                if (scheme == u"https" ||
                    (scheme == u"http" && !wasEncrypted && isLoopbackHost(target.host()))) {
                    from = target;
                    Q_EMIT reply->redirectAllowed();
                    return;
                }
                abortWith(tr("The server redirected to an insecure address"));
            });
    connect(reply, &QNetworkReply::finished, this,
            [reply, state, take, handler = std::move(handler)] {
                if (state->finished)
                    return;
                state->finished = true;
                reply->deleteLater();
                // The last piece may come with the end of the transfer, after any readyRead.
                if (reply->isOpen())
                    take(reply->readAll());
                handler(transferOf(reply, *state));
            });
}

void NetworkManager::postJson(const std::optional<QUrl>& url, const QJsonObject& body,
                              TransferHandler handler, std::function<void()> onInvalidUrl)
{
    if (!url) {
        later(std::move(onInvalidUrl));
        return;
    }
    QNetworkRequest request = makeRequest(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply* reply =
        m_access->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    track(reply, kMaxJsonReplyBytes, std::move(handler), {.deadline = m_timeout, .sink = {}});
}

void NetworkManager::login(const QString& username, const QString& password,
                           AuthCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("login")},
                           {QStringLiteral("username"), username},
                           {QStringLiteral("password"), password}};
    postJson(
        m_auth, body,
        [completion](const Transfer& t) { completion(decodeAuthReply(AuthAction::Login, t)); },
        [completion] {
            completion({false, QStringLiteral("Invalid URL"), std::nullopt});
        });
}

void NetworkManager::registerAccount(const QString& username, const QString& email,
                                     const QString& password, AuthCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("register")},
                           {QStringLiteral("username"), username},
                           {QStringLiteral("email"), email},
                           {QStringLiteral("password"), password}};
    postJson(
        m_auth, body,
        [completion](const Transfer& t) { completion(decodeAuthReply(AuthAction::Register, t)); },
        [completion] {
            completion({false, QStringLiteral("Invalid URL"), std::nullopt});
        });
}

void NetworkManager::validate(const QString& token, ValidateCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("validate")},
                           {QStringLiteral("token"), token}};
    postJson(
        m_auth, body, [completion](const Transfer& t) { completion(decodeValidateReply(t)); },
        [completion] { completion({}); });
}

void NetworkManager::logout(const QString& token)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("logout")},
                           {QStringLiteral("token"), token}};
    postJson(
        m_auth, body, [](const Transfer&) {}, [] {});
}

void NetworkManager::listServerScreenshots(const QString& token, ListCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("list")},
                           {QStringLiteral("token"), token}};
    postJson(
        m_sync, body, [completion](const Transfer& t) { completion(decodeListReply(t)); },
        [completion] { completion({}); });
}

void NetworkManager::deleteServerScreenshot(const QString& token, qint64 screenshotId,
                                            DeleteCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("delete")},
                           {QStringLiteral("token"), token},
                           {QStringLiteral("screenshot_id"), screenshotId}};
    postJson(
        m_sync, body, [completion](const Transfer& t) { completion(decodeDeleteReply(t)); },
        [completion] {
            completion({false, QStringLiteral("Invalid URL")});
        });
}

void NetworkManager::uploadScreenshot(const QString& token, const QString& filePath,
                                      const QString& captureType, UploadCompletion completion)
{
    QFile file(filePath);
    if (!m_sync || !file.open(QIODevice::ReadOnly)) {
        later([completion] { completion({}); });
        return;
    }
    const QByteArray fileBytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        later([completion] { completion({}); });
        return;
    }
    const QString boundary = newBoundary();
    QNetworkRequest request = makeRequest(*m_sync);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QString(QStringLiteral("multipart/form-data; boundary=") + boundary));
    const QByteArray body =
        multipartBody(boundary, token, captureType, QFileInfo(filePath).fileName(), fileBytes);
    track(m_access->post(request, body), kMaxJsonReplyBytes,
          [completion](const Transfer& t) { completion(decodeUploadReply(t)); });
}

void NetworkManager::downloadScreenshotTo(const QString& token, qint64 screenshotId,
                                          DownloadSink sink, StreamedCompletion completion)
{
    if (!m_sync) {
        later([completion] { completion({false, std::nullopt, std::nullopt}, 0); });
        return;
    }
    const QNetworkRequest request = makeRequest(downloadUrl(*m_sync, token, screenshotId));
    auto written = std::make_shared<qint64>(0);
    auto counting = [written, sink = std::move(sink)](QByteArrayView piece) {
        *written += piece.size();
        return sink(piece);
    };
    track(m_access->get(request), kMaxDownloadBytes,
          [completion, written](const Transfer& t) {
              DownloadReply reply = classifyDownload(t);
              reply.data.reset(); // only the first bytes: the file itself went to the sink
              completion(reply, reply.ok ? *written : 0);
          },
          {.deadline = std::nullopt, .sink = std::move(counting)});
}

} // namespace glimra
