// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sync endpoint as the engine's tests need it: records on a TestServer, with the reply
// to single downloads, or to every upload, open to replacement.
#include "TestServer.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

#include <map>

namespace glimra::test {

class FakeSyncServer {
public:
    FakeSyncServer()
    {
        server.respond([this](const Received& r, httplib::Response& out) { answer(r, out); });
    }
    // A new record, listed first; its id.
    qint64 add(const QString& name, const QByteArray& bytes)
    {
        std::lock_guard lock(mutex);
        records.insert(records.begin(), {++lastId, name, bytes});
        return lastId;
    }
    int requests(const std::string& part) const
    {
        const std::vector<Received> all = server.received();
        return int(std::count_if(all.begin(), all.end(), [&](const Received& r) {
            return (r.target + r.body).find(part) != std::string::npos;
        }));
    }

    struct Record {
        qint64 id;
        QString name;
        QByteArray bytes;
    };
    TestServer server;
    std::mutex mutex;
    std::vector<Record> records;
    qint64 lastId = 0;
    std::map<qint64, TestServer::Responder> downloads;
    TestServer::Responder uploads;
    std::atomic<int> running = 0, mostAtOnce = 0; // downloads in progress, and their peak

private:
    static std::string json(const QJsonObject& object)
    {
        return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    }

    void answer(const Received& r, httplib::Response& out)
    {
        std::unique_lock lock(mutex);
        TestServer::Responder responder;
        if (r.method == "GET") {
            const qint64 id = QUrlQuery(QUrl(QString::fromStdString(r.target)))
                                  .queryItemValue(u"id"_s)
                                  .toLongLong();
            const auto found = std::find_if(records.begin(), records.end(),
                                            [&](const Record& x) { return x.id == id; });
            responder = downloads.contains(id) ? downloads[id]
                        : found == records.end()
                            ? reply(200, "Screenshot not found", "text/plain")
                            : reply(200, found->bytes.toStdString(), "image/png", 30ms);
            lock.unlock();
            const int now = ++running;
            for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);)
                ;
            responder(r, out);
            --running;
            return;
        }
        const QJsonObject body =
            QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
        const QString action = body.value(u"action"_s).toString();
        std::string answer;
        if (r.contentType.starts_with("multipart") && uploads) {
            responder = uploads;
        } else if (r.contentType.starts_with("multipart")) {
            const QString name = QRegularExpression(u"original_filename\"\r\n\r\n([^\r]*)"_s)
                                     .match(QString::fromStdString(r.body))
                                     .captured(1);
            records.insert(records.begin(), {++lastId, name, {}});
            answer =
                json({{u"success"_s, true}, {u"screenshot"_s, QJsonObject{{u"id"_s, lastId}}}});
        } else if (action == u"list"_s) {
            QJsonArray list;
            for (const Record& x : records)
                list.append(QJsonObject{{u"id"_s, x.id},
                                        {u"filename"_s, u"s%1.png"_s.arg(x.id)},
                                        {u"original_filename"_s, x.name},
                                        {u"capture_type"_s, u"window"_s}});
            answer = json({{u"success"_s, true}, {u"screenshots"_s, list}});
        } else if (action == u"delete"_s) {
            const qint64 id = body.value(u"screenshot_id"_s).toInteger();
            answer = std::erase_if(records, [&](const Record& x) { return x.id == id; })
                         ? R"({"success":true})"
                         : R"({"success":false,"error":"Screenshot not found"})";
        }
        lock.unlock();
        responder ? responder(r, out) : out.set_content(answer, "application/json");
    }
};

} // namespace glimra::test
