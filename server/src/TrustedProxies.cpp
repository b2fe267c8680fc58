// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrustedProxies.h"

#include "Http.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

namespace glimra::server {

namespace {

// Proxies write a hop as "1.2.3.4", "1.2.3.4:5678", "2001:db8::1" or "[2001:db8::1]:5678".
std::string_view withoutPort(std::string_view hop)
{
    if (hop.starts_with('[')) {
        const std::size_t end = hop.find(']');
        return end == std::string_view::npos ? std::string_view() : hop.substr(1, end - 1);
    }
    if (std::count(hop.begin(), hop.end(), ':') == 1)
        return hop.substr(0, hop.find(':'));
    return hop;
}

} // namespace

std::optional<TrustedProxies::Bytes> TrustedProxies::address(std::string_view text)
{
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string zeroEnded(text);
    Bytes bytes{};
    if (inet_pton(AF_INET6, zeroEnded.c_str(), bytes.data()) == 1)
        return bytes;
    bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (inet_pton(AF_INET, zeroEnded.c_str(), bytes.data() + 12) == 1)
        return bytes;
    return std::nullopt;
}

std::optional<TrustedProxies> TrustedProxies::parse(std::string_view list)
{
    TrustedProxies proxies;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view entry = trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        const std::size_t slash = entry.find('/');
        const auto bytes = address(entry.substr(0, slash));
        if (!bytes)
            return std::nullopt;
        const bool v4 = entry.substr(0, slash).find(':') == std::string_view::npos;
        int bits = v4 ? 32 : 128;
        if (slash != std::string_view::npos) {
            const std::string_view digits = entry.substr(slash + 1);
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), bits);
            if (ec != std::errc() || end != digits.data() + digits.size() || bits < 0 ||
                bits > (v4 ? 32 : 128))
                return std::nullopt;
        }
        proxies.m_networks.push_back({*bytes, v4 ? bits + 96 : bits});
    }
    if (proxies.m_networks.empty())
        return std::nullopt;
    return proxies;
}

bool TrustedProxies::contains(const Bytes& candidate) const
{
    return std::any_of(m_networks.begin(), m_networks.end(), [&](const Network& n) {
        const int whole = n.bits / 8, rest = n.bits % 8;
        if (!std::equal(n.bytes.begin(), n.bytes.begin() + whole, candidate.begin()))
            return false;
        const auto mask = static_cast<std::uint8_t>(0xFF00 >> rest);
        return rest == 0 || (n.bytes[whole] & mask) == (candidate[whole] & mask);
    });
}

bool TrustedProxies::contains(std::string_view text) const
{
    const auto bytes = address(text);
    return bytes && contains(*bytes);
}

std::string TrustedProxies::client(const std::string& peer, std::string_view forwardedFor) const
{
    std::string believed = peer;
    while (!forwardedFor.empty()) {
        const std::size_t comma = forwardedFor.rfind(',');
        const std::string_view hop = withoutPort(
            trim(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1)));
        forwardedFor =
            comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
        const auto bytes = address(hop);
        if (!bytes)
            break;
        believed = std::string(hop);
        if (!contains(*bytes))
            break;
    }
    return believed;
}

} // namespace glimra::server
