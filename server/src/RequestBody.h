#pragma once

// Request reading shared by the two endpoints' handlers.

#include "Service.h"

#include <optional>
#include <string>
#include <variant>

namespace glimra::server::detail {

inline constexpr std::size_t kMaxJsonBytes = 64 * 1024;

struct Failure {
    int status;
    std::string message;
};

// Past this much a body is no longer read, and the connection is closed after the answer.
inline constexpr std::size_t kMaxDrainBytes = 1024 * 1024;

// Reads a JSON object body of bounded size. A somewhat longer body is read to its end and
// dropped, so the client gets to see the answer instead of a reset connection.
inline std::variant<json, Failure> readJsonObject(const httplib::Request& req,
                                                  const httplib::ContentReader& reader,
                                                  httplib::Response& res)
{
    std::string body;
    std::size_t total = 0;
    bool read = false;
    const auto drain = [&](const char*, std::size_t size) {
        total += size;
        return total <= kMaxDrainBytes;
    };
    if (req.is_multipart_form_data()) {
        read = reader([](const httplib::MultipartFormData&) { return true; }, drain);
        if (read)
            return Failure{400, "Invalid request: expected a JSON body"};
    } else {
        read = reader([&](const char* data, std::size_t size) {
            if (body.size() + size <= kMaxJsonBytes)
                body.append(data, size);
            return drain(data, size);
        });
    }
    if (total > kMaxDrainBytes)
        res.set_header("Connection", "close");
    // httplib marks a body it refused unread, for being longer than any request may be.
    if (total > kMaxJsonBytes || (!read && res.status == 413))
        return Failure{413, "Request too large"};
    if (!read)
        return Failure{400, "Invalid request"};
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return Failure{400, "Invalid JSON"};
    return parsed;
}

// The request's JSON object, or nothing once the failure has been answered.
inline std::optional<json> readJsonRequest(const httplib::Request& req,
                                           const httplib::ContentReader& reader,
                                           httplib::Response& res)
{
    auto body = readJsonObject(req, reader, res);
    if (auto* failure = std::get_if<Failure>(&body)) {
        sendFailure(res, failure->status, failure->message);
        return std::nullopt;
    }
    return std::move(std::get<json>(body));
}

inline const std::string* stringMember(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                       : nullptr;
}

} // namespace glimra::server::detail
