// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Http.h"

#include <boost/beast/http/message.hpp>

#include <string>
#include <string_view>

namespace glimra::server {

// What the handlers read of a parsed request head. The fuzzer fills requests the same way, so
// what it reaches is what a connection would hand over.
template <class Fields>
void readRequestHead(const boost::beast::http::header<true, Fields>& head, HttpRequest& req)
{
    namespace http = boost::beast::http;
    req.method = std::string(head.method_string());
    const std::string_view target = head.target();
    req.path = target.substr(0, target.find('?'));
    if (const auto q = target.find('?'); q != std::string_view::npos)
        req.query = target.substr(q + 1);
    req.contentType = std::string(head[http::field::content_type]);
    req.range = std::string(head[http::field::range]);
    req.ifNoneMatch = std::string(head[http::field::if_none_match]);
}

// Every X-Forwarded-For field of the head, in order, as one list.
template <class Fields>
std::string forwardedFor(const boost::beast::http::header<true, Fields>& head)
{
    std::string hops;
    for (auto [at, end] = head.equal_range("X-Forwarded-For"); at != end; ++at)
        hops += (hops.empty() ? "" : ",") + std::string(at->value());
    return hops;
}

} // namespace glimra::server
