// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

#include <ctime>

namespace glimra::server {

namespace {

// Ten years: far beyond any lifetime offered, and far from overflowing a time.
constexpr std::int64_t kLongestLifetime = 10ll * 366 * 86400;

bool isLinkId(std::string_view id)
{
    if (id.size() < 22 || id.size() > 64)
        return false;
    for (const char c : id) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    }
    return true;
}

// If-None-Match holds a list of tags, "*", or weak tags, which match by their value.
bool tagMatches(std::string_view header, std::string_view tag)
{
    while (!header.empty()) {
        const std::size_t comma = header.find(',');
        std::string_view item = trim(header.substr(0, comma));
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
        if (item.starts_with("W/"))
            item.remove_prefix(2);
        if (item == "*" || item == tag)
            return true;
    }
    return false;
}

// One answer for every link that does not work, so none tells whether an id ever existed.
HttpResponse noSuchLink()
{
    return textResponse(404, "Not found");
}

} // namespace

json Service::shareJson(const ShareLink& link) const
{
    return json{{"id", link.id},
                {"url", m_origin + kSharePrefix + link.id},
                {"expires_at", link.expiresAt ? json(isoTime(*link.expiresAt)) : json(nullptr)},
                {"created_at", isoTime(link.createdAt)}};
}

HttpResponse Service::share(const json& body)
{
    const auto userId = userForBody(body);
    if (!userId)
        return failureResponse(401, "Unauthorized");
    const auto id = body.find("screenshot_id");
    if (id == body.end() || !id->is_number_integer())
        return failureResponse(400, "Invalid request: screenshot_id must be an integer");
    std::optional<std::int64_t> lifetime;
    if (const auto given = body.find("expires_in"); given != body.end() && !given->is_null()) {
        // A negative number would make a link that is dead at birth, a huge one an overflow.
        const bool valid = given->is_number_integer() && given->get<std::int64_t>() > 0 &&
                           given->get<std::int64_t>() <= kLongestLifetime;
        if (!valid)
            return failureResponse(400, "Invalid request: expires_in must be a number of seconds "
                                        "from 1 to ten years");
        lifetime = given->get<std::int64_t>();
    }
    const std::int64_t now = unixNow();
    const auto expiresAt = lifetime ? std::optional(now + *lifetime) : std::nullopt;
    const auto link =
        m_store.addShare(*userId, id->get<std::int64_t>(), newLinkId(), now, expiresAt);
    if (!link)
        return failureResponse(404, "Screenshot not found");
    return jsonResponse(200, json{{"success", true}, {"share", shareJson(*link)}});
}

HttpResponse Service::unshare(const json& body)
{
    const auto userId = userForBody(body);
    if (!userId)
        return failureResponse(401, "Unauthorized");
    int revoked = 0;
    if (const auto link = body.find("share_id"); link != body.end() && link->is_string()) {
        const auto& text = link->get_ref<const std::string&>();
        revoked = isLinkId(text) ? m_store.revokeShare(*userId, text) : 0;
        if (revoked == 0)
            return failureResponse(404, "Share link not found");
    } else if (const auto id = body.find("screenshot_id");
               id != body.end() && id->is_number_integer()) {
        const auto all = m_store.revokeShares(*userId, id->get<std::int64_t>());
        if (!all)
            return failureResponse(404, "Screenshot not found");
        revoked = *all;
    } else {
        return failureResponse(400, "Invalid request: share_id (a string) or screenshot_id (an "
                                    "integer) is required");
    }
    return jsonResponse(200, json{{"success", true}, {"revoked", revoked}});
}

HttpResponse Service::sharedPicture(const HttpRequest& req)
{
    const std::string_view id =
        std::string_view(req.path).substr(std::string_view(kSharePrefix).size());
    const auto stored = isLinkId(id) ? m_store.sharedFile(id, unixNow()) : std::nullopt;
    if (!stored)
        return noSuchLink();
    const std::string tag = "\"" + stored->sha256 + "\"";
    // Revalidated every time, so a revoked link stops at once even in a browser's cache.
    const char* caching = "private, no-cache";
    if (tagMatches(req.ifNoneMatch, tag)) {
        HttpResponse res;
        res.status = 304;
        res.setHeader("ETag", tag);
        res.setHeader("Cache-Control", caching);
        return res;
    }
    auto handle = m_store.open(*stored);
    auto res = handle ? fileResponse(req, *stored, std::move(handle), "inline") : std::nullopt;
    if (!res)
        return noSuchLink();
    res->setHeader("ETag", tag);
    res->setHeader("Cache-Control", caching);
    return std::move(*res);
}

} // namespace glimra::server
