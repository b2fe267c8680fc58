// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glimra::server {

// The reverse proxies whose X-Forwarded-For is believed. Behind a proxy every connection comes
// from the proxy, so the limits kept per address would otherwise count all clients as one: a
// stranger's failed logins would lock out everyone, and the owner's exemption would cover the
// stranger too. From anyone else the header is ignored, since any client can write it.
class TrustedProxies {
public:
    // "ADDRESS[/BITS][,ADDRESS[/BITS]...]", IPv4 or IPv6; nothing when an entry is not one.
    static std::optional<TrustedProxies> parse(std::string_view list);

    bool empty() const { return m_networks.empty(); }
    bool contains(std::string_view address) const;
    // The client a trusted peer forwards for: walking X-Forwarded-For from its right end, the
    // first address that is not itself a trusted proxy. A hop that is not an address stops the
    // walk at the last one believed, so garbage can only ever name a proxy, never a stranger.
    std::string client(const std::string& peer, std::string_view forwardedFor) const;

private:
    using Bytes = std::array<std::uint8_t, 16>; // IPv4 as IPv4-mapped IPv6
    struct Network {
        Bytes bytes;
        int bits;
    };
    static std::optional<Bytes> address(std::string_view text);
    bool contains(const Bytes& address) const;

    std::vector<Network> m_networks;
};

} // namespace glimra::server
