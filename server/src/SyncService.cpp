// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <charconv>
#include <unordered_map>

namespace glimra::server {

namespace {

std::optional<std::int64_t> parseId(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::int64_t> Service::userForBody(const json& body)
{
    const auto found = body.find("token");
    if (found == body.end() || !found->is_string())
        return std::nullopt;
    return userForToken(found->get<std::string>());
}

HttpResponse Service::list(const json& body)
{
    const auto userId = userForBody(body);
    if (!userId)
        return failureResponse(401, "Unauthorized");
    std::unordered_map<std::int64_t, json> shares;
    for (const ShareLink& link : m_store.liveShares(*userId, unixNow())) {
        json& of = shares[link.screenshotId];
        if (of.is_null())
            of = json::array();
        of.push_back(shareJson(link));
    }
    // Written record by record: a tree of ten thousand records held a worker's heap at about
    // ten times the answer's size, and every worker thread kept its own such heap afterwards.
    const std::vector<ScreenshotRecord> records = m_store.list(*userId);
    HttpResponse res = jsonResponse(200, json{{"success", true}, {"count", records.size()}});
    std::string& out = res.body;
    out.pop_back(); // the object's closing brace
    out.reserve(out.size() + records.size() * 256 + 32);
    out += R"(,"screenshots":[)";
    for (const ScreenshotRecord& record : records) {
        json object = recordJson(record);
        const auto found = shares.find(record.id);
        object["shares"] = found != shares.end() ? std::move(found->second) : json::array();
        if (out.back() != '[')
            out += ',';
        out += object.dump(-1, ' ', false, json::error_handler_t::replace);
    }
    out += "]}";
    return res;
}

HttpResponse Service::remove(const json& body)
{
    const auto userId = userForBody(body);
    if (!userId)
        return failureResponse(401, "Unauthorized");
    const auto id = body.find("screenshot_id");
    if (id == body.end() || !id->is_number_integer())
        return failureResponse(400, "Invalid request: screenshot_id must be an integer");
    // Another user's id is answered exactly like a missing one.
    if (!m_store.remove(*userId, id->get<std::int64_t>()))
        return failureResponse(404, "Screenshot not found");
    return jsonResponse(200, json{{"success", true}, {"message", "Screenshot deleted"}});
}

HttpResponse Service::download(const HttpRequest& req)
{
    // Plain short texts the client recognises as errors, never JSON, on this one route.
    if (queryParameter(req.query, "action") != "download")
        return textResponse(400, "Invalid request");
    const auto userId = userForToken(queryParameter(req.query, "token"));
    if (!userId)
        return textResponse(401, "Unauthorized");
    const auto id = parseId(queryParameter(req.query, "id"));
    if (!id)
        return textResponse(400, "Invalid request");
    const auto stored = m_store.file(*userId, *id);
    // Opened now: a deletion that removes the file meanwhile cannot cut the answer short.
    auto handle = stored ? m_store.open(*stored) : nullptr;
    auto res = handle ? fileResponse(req, *stored, std::move(handle), "attachment") : std::nullopt;
    if (!res)
        return textResponse(404, "Screenshot not found");
    res->setHeader("Cache-Control", "private, no-store");
    return std::move(*res);
}

std::optional<HttpResponse> fileResponse(const HttpRequest& req, const StoredFile& stored,
                                         std::shared_ptr<FileHandle> handle,
                                         std::string_view disposition)
{
    struct stat info {};
    if (::fstat(handle->fd(), &info) != 0)
        return std::nullopt;

    const auto size = static_cast<std::uint64_t>(info.st_size);
    const ByteRange range = parseRange(req.range, size);
    HttpResponse res;
    res.setHeader("Accept-Ranges", "bytes");
    if (range.kind == ByteRange::Unsatisfiable) {
        res.status = 416;
        res.setHeader("Content-Range", "bytes */" + std::to_string(size));
        return res;
    }
    res.status = range.kind == ByteRange::Partial ? 206 : 200;
    res.fileOffset = range.kind == ByteRange::Partial ? range.first : 0;
    res.fileLength = range.kind == ByteRange::Partial ? range.length : size;
    if (range.kind == ByteRange::Partial)
        res.setHeader("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                           std::to_string(range.first + range.length - 1) + "/" +
                                           std::to_string(size));
    res.setHeader("X-Content-Type-Options", "nosniff");
    res.setHeader("Content-Security-Policy", "default-src 'none'; sandbox");
    res.setHeader("Content-Disposition", contentDisposition(stored.originalFilename, disposition));
    res.contentType = std::string(stored.mediaType);
    res.file = std::move(handle);
    return res;
}

} // namespace glimra::server
