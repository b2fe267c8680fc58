// SPDX-License-Identifier: GPL-3.0-or-later
// Requests written byte by byte, for what httplib would not send: another source address,
// forged headers.
#include "ServerProcess.h"

namespace glimra::server::test {

std::string jsonRequest(const char* path, const json& body, const char* connection,
                        const std::string& extraHeaders)
{
    const std::string text = body.dump();
    return std::string("POST ") + path + " HTTP/1.1\r\nHost: t\r\nConnection: " + connection +
           "\r\nContent-Type: application/json\r\n" + extraHeaders +
           "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

std::string rawLogin(int port, const std::string& from, const std::string& name,
                     const std::string& password, const std::string& extraHeaders)
{
    RawConnection raw(port, from.c_str());
    raw.send(jsonRequest(kAuth, {{"action", "login"}, {"username", name}, {"password", password}},
                         "close", extraHeaders));
    return raw.receive(std::chrono::seconds(30));
}

} // namespace glimra::server::test
