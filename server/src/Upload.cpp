// SPDX-License-Identifier: GPL-3.0-or-later
#include "Upload.h"

#include "Service.h"

#include <sys/statvfs.h>

#include <iostream>
#include <system_error>

namespace glimra::server {

namespace {

constexpr std::size_t kMaxFieldBytes = 4096;
constexpr std::size_t kMaxFormFieldBytes = 8192;
// Left free by uploads, so the database can still record sign-ins and deletions.
constexpr std::uint64_t kDiskHeadroom = 8ull << 20;
constexpr const char* kDiskFull = "The server's disk is full";

bool knownField(const std::string& name)
{
    return name == "token" || name == "action" || name == "capture_type" ||
           name == "original_filename";
}

std::uint64_t freeBytes(const fs::path& dir)
{
    struct statvfs info {};
    if (::statvfs(dir.c_str(), &info) != 0)
        return UINT64_MAX; // not known: the writes will tell
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

} // namespace

UploadForm::UploadForm(Service& service, std::uint64_t expectedBytes)
    : m_service(service), m_expectedBytes(expectedBytes)
{}

UploadForm::~UploadForm() = default;

bool UploadForm::refuse(int status, std::string_view message)
{
    if (!m_refusal) {
        m_refusal = failureResponse(status, message);
        m_refusal->close = true;
    }
    m_file.reset();
    return false;
}

bool UploadForm::begin(const std::string& name, const std::string& fileName)
{
    if (m_refusal)
        return false;
    m_part = name;
    if (name == "file") {
        if (m_file)
            return refuse(400, "Invalid request: more than one file");
        if (!m_userId)
            return refuse(401, "Unauthorized");
        if (freeBytes(m_service.store().tmpDir()) < m_expectedBytes + kDiskHeadroom)
            return refuse(507, kDiskFull);
        m_clientFileName = fileName;
        m_file = std::make_unique<IncomingFile>(m_service.store().tmpDir());
        return true;
    }
    if (!knownField(name))
        return refuse(400, "Invalid request: unexpected field \"" + name.substr(0, 64) + "\"");
    if (m_fields.contains(name))
        return refuse(400, "Invalid request: field \"" + name + "\" sent twice");
    m_fields[name];
    return true;
}

bool UploadForm::data(std::string_view bytes)
{
    if (m_refusal)
        return false;
    if (m_part == "file") {
        const std::uint64_t limit = m_service.options().maxUploadBytes;
        if (m_file->size() + bytes.size() > limit)
            return refuse(413, "File too large: the limit is " + humanSize(limit));
        try {
            m_file->write(bytes.data(), bytes.size());
        } catch (const std::system_error& e) {
            if (isDiskFull(e))
                return refuse(507, kDiskFull);
            std::cerr << "glimra-server: upload: " << e.what() << '\n';
            return refuse(500, "Internal server error");
        }
        return true;
    }
    std::string& value = m_fields[m_part];
    m_fieldBytes += bytes.size();
    if (value.size() + bytes.size() > kMaxFieldBytes)
        return refuse(400, "Invalid request: field \"" + m_part + "\" too long");
    if (m_fieldBytes > kMaxFormFieldBytes)
        return refuse(400, "Invalid request: form fields too large");
    value.append(bytes);
    return true;
}

bool UploadForm::end()
{
    const bool token = m_part == "token" && !m_refusal;
    m_part.clear();
    return token;
}

bool UploadForm::authenticate()
{
    m_userId = m_service.userForToken(m_fields["token"]);
    return m_userId ? true : refuse(401, "Unauthorized");
}

HttpResponse UploadForm::finish()
{
    if (m_refusal)
        return *m_refusal;
    const auto field = [this](const char* name) -> const std::string* {
        const auto found = m_fields.find(name);
        return found == m_fields.end() ? nullptr : &found->second;
    };
    const std::string* action = field("action");
    if (action && *action != "upload")
        return failureResponse(400, "Unknown action");
    if (!m_userId)
        return failureResponse(401, "Unauthorized");
    if (!m_file)
        return failureResponse(400, "No file uploaded");
    const auto type = sniffImage(m_file->head());
    if (!type)
        return failureResponse(415,
                               "Unsupported file type: only PNG, JPEG, TIFF and WebP are accepted");
    // The form field is the name as the client has it; the part's file name is a fallback
    // that some clients escape.
    const std::string* named = field("original_filename");
    const std::string& originalName = named && !named->empty() ? *named : m_clientFileName;
    if (const auto problem = originalFilenameError(originalName))
        return failureResponse(400, *problem);
    const std::string* captureField = field("capture_type");
    const std::string captureType = captureField ? *captureField : std::string();
    if (const auto problem = captureTypeError(captureType))
        return failureResponse(400, *problem);

    const std::optional<std::uint64_t> quota = m_service.options().quotaBytes;
    try {
        m_file->finish();
        const auto stored =
            m_service.store().ingest(*m_userId, *m_file, *type, originalName, captureType, quota);
        if (stored.quotaExceeded)
            return failureResponse(507,
                                   "Storage quota exceeded: " + std::to_string(stored.usedBytes) +
                                       " of " + std::to_string(*quota) + " bytes used");
        return jsonResponse(200, json{{"success", true},
                                      {"message", "Screenshot uploaded"},
                                      {"screenshot", recordJson(stored.record)}});
    } catch (const std::exception& e) {
        std::cerr << "glimra-server: upload: " << e.what() << '\n';
        return isDiskFull(e) ? failureResponse(507, kDiskFull)
                             : failureResponse(500, "Internal server error");
    }
}

} // namespace glimra::server
