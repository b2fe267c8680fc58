// SPDX-License-Identifier: GPL-3.0-or-later
#include "S3Client.h"

#include "Http.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace glimra::server {

namespace {

// The hash of an empty payload, which every request without a body is signed with.
constexpr const char* kEmptyHash =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

struct FdCursor {
    int fd;
    off_t offset = 0;
};

std::size_t readFromFd(char* buffer, std::size_t size, std::size_t count, void* data)
{
    auto* cursor = static_cast<FdCursor*>(data);
    const ssize_t n = ::pread(cursor->fd, buffer, size * count, cursor->offset);
    if (n < 0)
        return CURL_READFUNC_ABORT;
    cursor->offset += n;
    return static_cast<std::size_t>(n);
}

// A successful GET's body goes to the file; any other answer's text is kept for the message.
struct Sink {
    CURL* curl;
    int fd;
    std::string text;
};

std::size_t receive(char* buffer, std::size_t size, std::size_t count, void* data)
{
    auto* sink = static_cast<Sink*>(data);
    long status = 0;
    curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
    if (sink->fd < 0 || status != 200) {
        // A listing page must arrive whole: one cut short hid most of each page's objects
        // from the sweeper. Of an error answer the start is enough for the message.
        constexpr std::size_t kMostText = 8 << 20;
        if (sink->text.size() + size * count > kMostText)
            return status == 200 ? 0 : size * count; // 0: curl fails the transfer
        sink->text.append(buffer, size * count);
        return size * count;
    }
    std::size_t done = 0;
    while (done < size * count) {
        const ssize_t n = ::write(sink->fd, buffer + done, size * count - done);
        if (n <= 0)
            return 0; // curl then fails the transfer
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// The text of the first <tag>...</tag> at or after `from`; `from` moves past it.
std::optional<std::string> element(std::string_view xml, std::string_view tag, std::size_t& from)
{
    const std::string open = "<" + std::string(tag) + ">";
    const std::string close = "</" + std::string(tag) + ">";
    const std::size_t start = xml.find(open, from);
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = xml.find(close, start);
    if (end == std::string_view::npos)
        return std::nullopt;
    from = end + close.size();
    std::string text(xml.substr(start + open.size(), end - start - open.size()));
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities) {
        for (std::size_t at = 0; (at = text.find(entity, at)) != std::string::npos; ++at)
            text.replace(at, std::strlen(entity), plain);
    }
    return text;
}

std::int64_t parseTime(const std::string& iso)
{
    std::tm tm{};
    if (!strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%S", &tm))
        return 0;
    return static_cast<std::int64_t>(timegm(&tm));
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace

std::string s3Encode(std::string_view text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

std::optional<S3Location> parseS3Url(std::string_view url)
{
    if (!url.starts_with("s3://"))
        return std::nullopt;
    url.remove_prefix(5);
    const std::size_t question = url.find('?');
    S3Location location;
    location.bucket = std::string(url.substr(0, question));
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : url.substr(question + 1);
    location.endpoint = queryParameter(query, "endpoint");
    if (const std::string region = queryParameter(query, "region"); !region.empty())
        location.region = region;
    while (location.endpoint.ends_with('/'))
        location.endpoint.pop_back();
    // Bucket names as S3 allows them; anything else would change the path it is sent on.
    const bool bucketValid =
        location.bucket.size() >= 3 && location.bucket.size() <= 63 &&
        std::all_of(location.bucket.begin(), location.bucket.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        });
    const bool endpointValid =
        (location.endpoint.starts_with("http://") || location.endpoint.starts_with("https://")) &&
        location.endpoint.find_first_of("?# ") == std::string::npos;
    const bool regionValid = std::all_of(location.region.begin(), location.region.end(),
                                         [](char c) { return std::isalnum(c) || c == '-'; });
    if (!bucketValid || !endpointValid || !regionValid)
        return std::nullopt;
    return location;
}

std::optional<S3Credentials> loadS3Credentials(const std::string& file, std::string& message)
{
    S3Credentials credentials;
    if (file.empty()) {
        const char* id = std::getenv("AWS_ACCESS_KEY_ID");
        const char* secret = std::getenv("AWS_SECRET_ACCESS_KEY");
        credentials = {id ? id : "", secret ? secret : ""};
    } else {
        std::ifstream in(file);
        if (!in) {
            message = "cannot read the storage credentials in " + file;
            return std::nullopt;
        }
        for (std::string line; std::getline(in, line);) {
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            std::string name = trimmed(std::string_view(line).substr(0, equals));
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return std::toupper(c); });
            const std::string value = trimmed(std::string_view(line).substr(equals + 1));
            if (name == "AWS_ACCESS_KEY_ID")
                credentials.accessKey = value;
            else if (name == "AWS_SECRET_ACCESS_KEY")
                credentials.secretKey = value;
        }
    }
    if (credentials.accessKey.empty() || credentials.secretKey.empty()) {
        message = "S3 storage needs AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, in the "
                  "environment or in the file named by --storage-credentials";
        return std::nullopt;
    }
    return credentials;
}

struct S3Client::Reply {
    long status = 0;
    std::string body;
};

S3Client::S3Client(S3Location location, S3Credentials credentials)
    : m_location(std::move(location)), m_credentials(std::move(credentials))
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

S3Client::Reply S3Client::request(const char* method, const std::string& key,
                                  const std::string& query, int uploadFd, std::uint64_t uploadSize,
                                  const std::string& payloadHash, int downloadFd)
{
    // One handle per thread keeps its connections open between requests.
    thread_local struct Handle {
        CURL* curl = curl_easy_init();
        ~Handle() { curl_easy_cleanup(curl); }
    } handle;
    CURL* curl = handle.curl;
    if (!curl)
        throw std::runtime_error("S3: curl could not be initialised");
    curl_easy_reset(curl);
    // The bucket as /bucket with no trailing slash, keys below it; the query comes sorted and
    // encoded, since curl 7.88 signs it as given.
    std::string url = m_location.endpoint + "/" + m_location.bucket;
    if (!key.empty())
        url += "/" + key;
    if (!query.empty())
        url += "?" + query;
    const std::string sigv4 = "aws:amz:" + m_location.region + ":s3";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, sigv4.c_str());
    curl_easy_setopt(curl, CURLOPT_USERNAME, m_credentials.accessKey.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, m_credentials.secretKey.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    // Stalled, not slow: a transfer that moves nothing for 30 s is given up.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    // Set, never blanked: curl 7.88 signs a blanked header it then does not send.
    const std::string hashHeader = "x-amz-content-sha256: " + payloadHash;
    curl_slist* headers = curl_slist_append(nullptr, hashHeader.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    Reply reply;
    FdCursor cursor{uploadFd};
    if (std::string_view(method) == "PUT") {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFromFd);
        curl_easy_setopt(curl, CURLOPT_READDATA, &cursor);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(uploadSize));
    } else if (std::string_view(method) == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (std::string_view(method) != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    }
    Sink sink{curl, downloadFd, {}};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (rc != CURLE_OK)
        throw std::runtime_error(std::string("S3: ") + method + " " + key + ": " +
                                 curl_easy_strerror(rc));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    reply.body = std::move(sink.text);
    return reply;
}

void S3Client::put(const std::string& key, int fd, std::uint64_t size, const std::string& sha256)
{
    const Reply reply = request("PUT", key, {}, fd, size, sha256, -1);
    if (reply.status != 200)
        throw std::runtime_error("S3: PUT " + key + " answered " + std::to_string(reply.status) +
                                 ": " + reply.body.substr(0, 300));
}

bool S3Client::get(const std::string& key, int fd)
{
    const Reply reply = request("GET", key, {}, -1, 0, kEmptyHash, fd);
    if (reply.status == 404)
        return false;
    if (reply.status != 200)
        throw std::runtime_error("S3: GET " + key + " answered " + std::to_string(reply.status));
    return true;
}

void S3Client::remove(const std::string& key)
{
    const Reply reply = request("DELETE", key, {}, -1, 0, kEmptyHash, -1);
    if (reply.status != 204 && reply.status != 200 && reply.status != 404)
        throw std::runtime_error("S3: DELETE " + key + " answered " + std::to_string(reply.status));
}

std::vector<S3Object> S3Client::list(const std::string& prefix)
{
    std::vector<S3Object> objects;
    std::string token;
    for (;;) {
        // Sorted by name, as the canonical request has them.
        std::string query = token.empty() ? "" : "continuation-token=" + s3Encode(token) + "&";
        query += "list-type=2&prefix=" + s3Encode(prefix);
        const Reply reply = request("GET", {}, query, -1, 0, kEmptyHash, -1);
        if (reply.status != 200)
            throw std::runtime_error("S3: listing answered " + std::to_string(reply.status) + ": " +
                                     reply.body.substr(0, 300));
        std::size_t at = 0;
        while (auto contents = element(reply.body, "Contents", at)) {
            std::size_t inner = 0;
            S3Object object;
            object.key = element(*contents, "Key", inner).value_or("");
            inner = 0;
            object.modified = parseTime(element(*contents, "LastModified", inner).value_or(""));
            inner = 0;
            const std::string size = element(*contents, "Size", inner).value_or("0");
            std::from_chars(size.data(), size.data() + size.size(), object.size);
            objects.push_back(std::move(object));
        }
        std::size_t flag = 0;
        if (element(reply.body, "IsTruncated", flag).value_or("false") != "true")
            return objects;
        std::size_t next = 0;
        token = element(reply.body, "NextContinuationToken", next).value_or("");
        if (token.empty())
            return objects;
    }
}

bool S3Client::reachable()
{
    try {
        return request("HEAD", {}, {}, -1, 0, kEmptyHash, -1).status == 200;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace glimra::server
