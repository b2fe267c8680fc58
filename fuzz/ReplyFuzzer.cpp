// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary server replies to every decoder and checks the promises the callers rely
// on: a failure that must carry a message carries one, a success never does, and nothing
// crashes, hangs or reads out of bounds whatever the bytes.
#include "account/UserInfo.h"
#include "sync/Protocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>

using namespace glimra::sync;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void decodeUser(const std::optional<QJsonObject>& user)
{
    if (user)
        (void)glimra::UserInfo::fromJson(*user);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    // Byte 0 picks the operation, bytes 1-2 the HTTP status (or its absence, or no body).
    const uint8_t selector = data[0];
    const int status = (data[1] << 8 | data[2]) % 1000;
    Transfer transfer;
    transfer.body =
        QByteArray(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));
    if (data[1] == 0xff)
        transfer.body.reset();
    else if (data[1] != 0xfe)
        transfer.httpStatus = status;

    switch (selector % 8) {
    case 0:
    case 1: {
        const AuthReply reply =
            decodeAuthReply(selector % 2 ? AuthAction::Register : AuthAction::Login, transfer);
        check(reply.ok ? reply.user.has_value() : reply.text.has_value() && !reply.user);
        decodeUser(reply.user);
        break;
    }
    case 2: {
        const ValidateReply reply = decodeValidateReply(transfer);
        check(reply.ok == reply.user.has_value());
        decodeUser(reply.user);
        break;
    }
    case 3: {
        const UploadReply reply = decodeUploadReply(transfer);
        check(reply.ok ? !reply.message : reply.message && !reply.screenshot);
        break;
    }
    case 4: {
        const ListReply reply = decodeListReply(transfer);
        check(reply.ok == reply.screenshots.has_value());
        break;
    }
    case 5: {
        const DeleteReply reply = decodeDeleteReply(transfer);
        check(reply.ok != reply.message.has_value());
        break;
    }
    case 6: {
        const DownloadReply reply = classifyDownload(transfer);
        check(reply.ok == reply.data.has_value());
        check(reply.ok != reply.message.has_value());
        if (reply.ok) {
            check(*reply.data == *transfer.body);
            check(!transfer.httpStatus || *transfer.httpStatus == 200);
        }
        break;
    }
    case 7: {
        // The origin setting is user input too: plain http must never leave this machine.
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString origin = utf8(transfer.body.value_or(QByteArray()));
        if (const std::optional<QUrl> url = endpointUrl(origin, kAuthPath)) {
            check(url->isValid());
            check(url->scheme().compare(u"https", Qt::CaseInsensitive) == 0 ||
                  isLoopbackHost(url->host()));
        }
        break;
    }
    }
    return 0;
}
