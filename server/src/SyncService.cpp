#include "Service.h"

#include "RequestBody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <functional>
#include <map>
#include <memory>

namespace glimra::server {

using detail::Failure;
using detail::readJsonRequest;
using detail::stringMember;

namespace {

constexpr std::size_t kMaxFieldBytes = 4096;

std::string humanSize(std::uint64_t bytes)
{
    if (bytes % (1ull << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (1ull << 10) == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// The multipart upload as it streams in. The file goes straight to a temporary file; the
// text fields are small. The first problem found decides the answer, and everything after
// it is read and dropped.
class UploadForm {
public:
    using Authenticate = std::function<std::optional<std::int64_t>(std::string_view)>;

    UploadForm(const fs::path& tmpDir, std::uint64_t maxUpload, Authenticate authenticate)
        : m_tmpDir(tmpDir), m_maxUpload(maxUpload), m_authenticate(std::move(authenticate))
    {}

    bool onPart(const httplib::MultipartFormData& part)
    {
        endPart();
        m_part = part.name;
        if (m_part == "file") {
            if (m_file || m_sawFile)
                fail(400, "Invalid request: more than one file");
            m_sawFile = true;
            m_clientFileName = part.filename;
            if (!m_failure)
                m_file = std::make_unique<IncomingFile>(m_tmpDir);
        }
        return true;
    }

    bool onData(const char* data, std::size_t size)
    {
        m_total += size;
        if (m_total > m_maxUpload + detail::kMaxDrainBytes)
            return false;
        if (m_failure)
            return true;
        if (m_part == "file") {
            if (m_file->size() + size > m_maxUpload) {
                fail(413, "File too large: the limit is " + humanSize(m_maxUpload));
                return true;
            }
            m_file->write(data, size);
            return true;
        }
        std::string& value = m_fields[m_part];
        if (value.size() + size > kMaxFieldBytes)
            fail(400, "Invalid request: field \"" + m_part.substr(0, 64) + "\" too long");
        else
            value.append(data, size);
        return true;
    }

    // Ends the last part; call once the reader has returned.
    void endPart()
    {
        // Checked as soon as the token has arrived (the client sends it first), so a stranger's
        // upload is dropped instead of written to disk.
        if (m_part == "token" && !m_userId && !m_failure) {
            m_userId = m_authenticate(m_fields["token"]);
            if (!m_userId)
                fail(401, "Unauthorized");
        }
        m_part.clear();
    }

    const std::optional<Failure>& failure() const { return m_failure; }
    bool exceededDrainLimit() const { return m_total > m_maxUpload + detail::kMaxDrainBytes; }
    std::optional<std::int64_t> userId() const { return m_userId; }
    IncomingFile* file() const { return m_file.get(); }
    const std::string& clientFileName() const { return m_clientFileName; }
    const std::string* field(const std::string& name) const
    {
        const auto found = m_fields.find(name);
        return found == m_fields.end() ? nullptr : &found->second;
    }

private:
    void fail(int status, std::string message)
    {
        if (!m_failure)
            m_failure = Failure{status, std::move(message)};
        m_file.reset();
    }

    fs::path m_tmpDir;
    std::uint64_t m_maxUpload;
    Authenticate m_authenticate;
    std::string m_part;
    std::map<std::string, std::string> m_fields;
    std::string m_clientFileName;
    std::unique_ptr<IncomingFile> m_file;
    bool m_sawFile = false;
    std::uint64_t m_total = 0;
    std::optional<std::int64_t> m_userId;
    std::optional<Failure> m_failure;
};

std::optional<std::int64_t> parseId(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

void sendText(httplib::Response& res, int status, const char* text)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(text, "text/plain; charset=utf-8");
}

} // namespace

void Service::handleSyncPost(const Request& req, Response& res, const Reader& reader)
{
    if (req.is_multipart_form_data()) {
        upload(req, res, reader);
        return;
    }
    const std::optional<json> body = readJsonRequest(req, reader, res);
    if (!body)
        return;
    const json& request = *body;
    const std::string* action = stringMember(request, "action");
    if (action && *action == "list")
        list(request, res);
    else if (action && *action == "delete")
        remove(request, res);
    else if (action && *action == "upload")
        sendFailure(res, 400, "Invalid request: an upload is a multipart form");
    else
        sendFailure(res, 400, "Unknown action");
}

void Service::upload(const Request&, Response& res, const Reader& reader)
{
    UploadForm form(m_store.tmpDir(), m_options.maxUploadBytes,
                    [this](std::string_view token) { return userForToken(token); });
    const bool read =
        reader([&](const httplib::MultipartFormData& part) { return form.onPart(part); },
               [&](const char* data, std::size_t size) { return form.onData(data, size); });
    form.endPart();
    if (form.exceededDrainLimit() || (!read && res.status == 413)) {
        res.set_header("Connection", "close");
        sendFailure(res, 413,
                    "File too large: the limit is " + humanSize(m_options.maxUploadBytes));
        return;
    }
    if (form.failure()) {
        sendFailure(res, form.failure()->status, form.failure()->message);
        return;
    }
    if (!read) {
        sendFailure(res, 400, "Invalid request: malformed multipart form");
        return;
    }
    const std::string* action = form.field("action");
    if (action && *action != "upload") {
        sendFailure(res, 400, "Unknown action");
        return;
    }
    const auto userId = form.userId();
    if (!userId) {
        sendFailure(res, 401, "Unauthorized");
        return;
    }
    IncomingFile* file = form.file();
    if (!file) {
        sendFailure(res, 400, "No file uploaded");
        return;
    }
    const auto type = sniffImage(file->head());
    if (!type) {
        sendFailure(res, 415, "Unsupported file type: only PNG, JPEG, TIFF and WebP are accepted");
        return;
    }
    // The form field is the name as the client has it; the part's file name is a fallback
    // that some clients escape.
    const std::string* named = form.field("original_filename");
    const std::string& originalName = named && !named->empty() ? *named : form.clientFileName();
    if (const auto problem = originalFilenameError(originalName)) {
        sendFailure(res, 400, *problem);
        return;
    }
    const std::string* captureField = form.field("capture_type");
    const std::string captureType = captureField ? *captureField : std::string();
    if (const auto problem = captureTypeError(captureType)) {
        sendFailure(res, 400, *problem);
        return;
    }

    file->finish();
    const auto stored =
        m_store.ingest(*userId, *file, *type, originalName, captureType, m_options.quotaBytes);
    if (stored.quotaExceeded) {
        sendFailure(res, 507,
                    "Storage quota exceeded: " + std::to_string(stored.usedBytes) + " of " +
                        std::to_string(*m_options.quotaBytes) + " bytes used");
        return;
    }
    sendJson(res, 200,
             json{{"success", true},
                  {"message", "Screenshot uploaded"},
                  {"screenshot", recordJson(stored.record)}});
}

void Service::list(const json& body, Response& res)
{
    const std::string* token = stringMember(body, "token");
    const auto userId = token ? userForToken(*token) : std::nullopt;
    if (!userId) {
        sendFailure(res, 401, "Unauthorized");
        return;
    }
    json screenshots = json::array();
    for (const ScreenshotRecord& record : m_store.list(*userId))
        screenshots.push_back(recordJson(record));
    const auto count = screenshots.size();
    sendJson(res, 200,
             json{{"success", true}, {"count", count}, {"screenshots", std::move(screenshots)}});
}

void Service::remove(const json& body, Response& res)
{
    const std::string* token = stringMember(body, "token");
    const auto userId = token ? userForToken(*token) : std::nullopt;
    if (!userId) {
        sendFailure(res, 401, "Unauthorized");
        return;
    }
    const auto id = body.find("screenshot_id");
    if (id == body.end() || !id->is_number_integer()) {
        sendFailure(res, 400, "Invalid request: screenshot_id must be an integer");
        return;
    }
    // Another user's id is answered exactly like a missing one.
    if (!m_store.remove(*userId, id->get<std::int64_t>())) {
        sendFailure(res, 404, "Screenshot not found");
        return;
    }
    sendJson(res, 200, json{{"success", true}, {"message", "Screenshot deleted"}});
}

void Service::handleDownload(const Request& req, Response& res)
{
    // Plain short texts the client recognises as errors, never JSON, on this one route.
    if (req.get_param_value("action") != "download") {
        sendText(res, 400, "Invalid request");
        return;
    }
    const auto userId = userForToken(req.get_param_value("token"));
    if (!userId) {
        sendText(res, 401, "Unauthorized");
        return;
    }
    const auto id = parseId(req.get_param_value("id"));
    if (!id) {
        sendText(res, 400, "Invalid request");
        return;
    }
    const auto stored = m_store.file(*userId, *id);
    // Opened now: a deletion that removes the file meanwhile cannot cut the answer short.
    const int fd = stored ? ::open(stored->path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            ::close(fd);
        sendText(res, 404, "Screenshot not found");
        return;
    }
    auto handle = std::shared_ptr<int>(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    res.status = 200;
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Content-Security-Policy", "default-src 'none'; sandbox");
    res.set_header("Content-Disposition", contentDisposition(stored->originalFilename));
    res.set_header("Cache-Control", "private, no-store");
    res.set_content_provider(
        static_cast<std::size_t>(info.st_size), std::string(stored->mediaType),
        [handle](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            const ssize_t n = ::pread(*handle, buffer, std::min(length, sizeof buffer),
                                      static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            return sink.write(buffer, static_cast<std::size_t>(n));
        });
}

} // namespace glimra::server
