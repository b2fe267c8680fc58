// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Files.h"
#include "Http.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace glimra::server {

class Service;

// One multipart upload as it streams in, part by part. The token comes first (as the client
// sends it) and is checked before a file byte is stored; the file goes straight to a
// temporary file; the few text fields are small. The first problem refuses the whole form.
class UploadForm {
public:
    // `expectedBytes`: the request's Content-Length, 0 when unknown.
    UploadForm(Service& service, std::uint64_t expectedBytes);
    ~UploadForm();
    UploadForm(const UploadForm&) = delete;
    UploadForm& operator=(const UploadForm&) = delete;

    // Each returns false once the form is refused; refusal() is the answer then.
    bool begin(const std::string& name, const std::string& fileName);
    bool data(std::string_view bytes);
    // Ends a part; true when it brought the token, which authenticate() must check now.
    bool end();
    // These two may block on the database or the disk: call them on a worker thread.
    bool authenticate();
    HttpResponse finish();

    const std::optional<HttpResponse>& refusal() const { return m_refusal; }

private:
    bool refuse(int status, std::string_view message);

    Service& m_service;
    std::uint64_t m_expectedBytes;
    std::string m_part;
    std::map<std::string, std::string> m_fields;
    std::size_t m_fieldBytes = 0;
    std::string m_clientFileName;
    std::unique_ptr<IncomingFile> m_file;
    std::optional<std::int64_t> m_userId;
    std::optional<HttpResponse> m_refusal;
};

} // namespace glimra::server
