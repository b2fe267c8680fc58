#pragma once

// The sync endpoint of the web service as the engine's tests need it: a store of records on
// a TestServer, with the replies of single downloads and uploads open to replacement.
#include "TestServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

#include <map>

using namespace Qt::StringLiterals;

namespace glimra::test {

class FakeSyncServer {
public:
    struct Record {
        qint64 id;
        QString name;
        QByteArray bytes;
    };

    FakeSyncServer()
    {
        server.respond([this](const Received& r, httplib::Response& out) { answer(r, out); });
    }

    QString origin() const { return server.origin(); }
    qint64 add(const QString& name, const QByteArray& bytes)
    {
        std::lock_guard lock(mutex);
        records.insert(records.begin(), {++lastId, name, bytes});
        return lastId;
    }
    int requests(const std::string& what) const
    {
        int n = 0;
        for (const Received& r : server.received())
            n += (r.target + r.body).find(what) != std::string::npos;
        return n;
    }

    TestServer server;
    mutable std::mutex mutex;
    std::vector<Record> records; // newest first, as the service lists them
    qint64 lastId = 0;
    // Replaces the whole listing reply when set.
    std::optional<QByteArray> listing;
    // Replaces the reply to one download, by id, or to every upload.
    std::map<qint64, TestServer::Responder> downloads;
    TestServer::Responder uploads;
    // Downloads in progress now, and the most seen at once.
    std::atomic<int> running = 0, mostAtOnce = 0;

private:
    static void json(httplib::Response& out, const QJsonObject& object)
    {
        out.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
                        "application/json");
    }

    void answer(const Received& r, httplib::Response& out)
    {
        std::unique_lock lock(mutex);
        if (r.method == "GET") {
            const qint64 id = QUrlQuery(QUrl(QString::fromStdString(r.target)))
                                  .queryItemValue(u"id"_s)
                                  .toLongLong();
            TestServer::Responder responder;
            if (const auto special = downloads.find(id); special != downloads.end()) {
                responder = special->second;
            } else {
                const auto found = std::find_if(records.begin(), records.end(),
                                                [&](const Record& x) { return x.id == id; });
                responder = reply(200,
                                  found == records.end() ? std::string("Screenshot not found")
                                                         : found->bytes.toStdString(),
                                  "image/png", std::chrono::milliseconds(30));
            }
            lock.unlock();
            const int now = ++running;
            for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);)
                ;
            responder(r, out);
            --running;
        } else if (r.contentType.starts_with("multipart")) {
            if (uploads) {
                const TestServer::Responder responder = uploads;
                lock.unlock();
                responder(r, out);
            } else {
                const QString name =
                    QRegularExpression(u"name=\"original_filename\"\r\n\r\n([^\r]*)"_s)
                        .match(QString::fromStdString(r.body))
                        .captured(1);
                records.insert(records.begin(), {++lastId, name, {}});
                json(out,
                     {{u"success"_s, true}, {u"screenshot"_s, QJsonObject{{u"id"_s, lastId}}}});
            }
        } else {
            const QJsonObject body =
                QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
            const QString action = body.value(u"action"_s).toString();
            if (action == u"list"_s && listing) {
                out.set_content(listing->toStdString(), "application/json");
            } else if (action == u"list"_s) {
                QJsonArray list;
                for (const Record& x : records)
                    list.append(QJsonObject{{u"id"_s, x.id},
                                            {u"filename"_s, u"s%1.png"_s.arg(x.id)},
                                            {u"original_filename"_s, x.name},
                                            {u"file_size"_s, x.bytes.size()},
                                            {u"capture_type"_s, u"window"_s},
                                            {u"uploaded_at"_s, u"2024-05-01 12:00:00"_s}});
                json(out, {{u"success"_s, true}, {u"screenshots"_s, list}});
            } else if (action == u"delete"_s) {
                const qint64 id = body.value(u"screenshot_id"_s).toInteger();
                const auto gone =
                    std::erase_if(records, [&](const Record& x) { return x.id == id; });
                json(out, gone ? QJsonObject{{u"success"_s, true}}
                               : QJsonObject{{u"success"_s, false},
                                             {u"error"_s, u"Screenshot not found"_s}});
            }
        }
    }
};

} // namespace glimra::test
