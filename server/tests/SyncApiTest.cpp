// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <set>

using namespace glimra::server::test;

namespace {

std::string header(const Reply& reply, const char* name)
{
    const auto found = reply.headers.find(name);
    return found == reply.headers.end() ? std::string() : found->second;
}

json deleteRequest(const std::string& token, const json& id)
{
    return {{"action", "delete"}, {"token", token}, {"screenshot_id", id}};
}

struct Fixture {
    TempDir dir;
    ServerProcess server;
    httplib::Client client;
    std::string token;

    explicit Fixture(std::vector<std::string> args = {})
        : server(dir.path(), std::move(args)), client(server.client()),
          token(registerUser(client, "alice"))
    {}
    std::vector<std::string> stored() const { return storedObjects(dir.path()); }
};

} // namespace

TEST(SyncApi, uploadListDownloadDeleteRoundTrip)
{
    Fixture f;
    const struct {
        std::string bytes;
        const char* name;
        const char* captureType;
        const char* mediaType;
    } uploads[] = {
        {fakePng(1), "Glimra_2024-05-01_12-00-00.png", "fullscreen", "image/png"},
        {"\xFF\xD8\xFF\xE0" + fakePng(2).substr(4), "photo.JPG", "selection", "image/jpeg"},
        {std::string("II*\0", 4) + fakePng(3).substr(4), "scan.tiff", "window", "image/tiff"},
        {std::string("RIFF\0\0\0\0WEBP", 12) + fakePng(4).substr(12), "w.webp", "", "image/webp"},
    };
    std::vector<std::int64_t> ids;
    for (const auto& u : uploads) {
        const Reply reply = upload(f.client, f.token, u.bytes, u.name, u.captureType);
        ASSERT_TRUE(reply.ok()) << reply.raw;
        const json& record = reply.body["screenshot"];
        EXPECT_EQ(record["original_filename"], u.name);
        EXPECT_EQ(record["capture_type"], u.captureType);
        EXPECT_EQ(record["file_size"], u.bytes.size());
        ASSERT_TRUE(record["id"].is_number_integer());
        ids.push_back(record["id"]);
    }

    // Newest first, with exactly the members the client decodes.
    const json list = listing(f.client, f.token);
    ASSERT_EQ(list.size(), 4u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& record = list[i];
        EXPECT_EQ(record["id"], ids[ids.size() - 1 - i]);
        for (const char* key : {"filename", "original_filename", "capture_type", "uploaded_at"})
            EXPECT_TRUE(record[key].is_string()) << key;
        EXPECT_TRUE(record["file_size"].is_number_integer());
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const Reply got = download(f.client, f.token, ids[i]);
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.raw, uploads[i].bytes);
        EXPECT_EQ(header(got, "Content-Type"), uploads[i].mediaType);
        EXPECT_EQ(header(got, "X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(header(got, "Content-Disposition").rfind("attachment; filename=\"", 0), 0u);
    }
    const Reply account = post(f.client, kAuth, {{"action", "validate"}, {"token", f.token}});
    EXPECT_EQ(account.body["user"]["screenshot_count"], 4);

    EXPECT_TRUE(post(f.client, kSync, deleteRequest(f.token, ids[0])).ok());
    EXPECT_EQ(listing(f.client, f.token).size(), 3u);
    EXPECT_EQ(download(f.client, f.token, ids[0]).raw, "Screenshot not found");
    EXPECT_EQ(post(f.client, kSync, deleteRequest(f.token, ids[0])).error(),
              "Screenshot not found");
    EXPECT_EQ(f.stored().size(), 3u);
}

TEST(SyncApi, requestErrorsAreAnsweredInTheBody)
{
    Fixture f({"--max-upload", "4K", "--quota", "10K"});
    const std::string form = uploadForm("B", f.token, "fullscreen", "a.png", fakePng(1));
    const struct {
        const char* what;
        std::string body;
        std::string contentType;
        int status;
        const char* error;
    } cases[] = {
        {"bad token", uploadForm("B", std::string(64, 'f'), "window", "a.png", fakePng(1)),
         "multipart/form-data; boundary=B", 401, "Unauthorized"},
        {"no token", form.substr(form.find("--B", 2)), "multipart/form-data; boundary=B", 401,
         "Unauthorized"},
        {"not an image", uploadForm("B", f.token, "window", "a.png", "<svg onload=alert(1)>"),
         "multipart/form-data; boundary=B", 415,
         "Unsupported file type: only PNG, JPEG, TIFF and WebP are accepted"},
        {"over --max-upload", uploadForm("B", f.token, "window", "a.png", fakePng(2, 4097)),
         "multipart/form-data; boundary=B", 413, "File too large: the limit is 4 KiB"},
        {"name not UTF-8", uploadForm("B", f.token, "window", "\xFF.png", fakePng(3)),
         "multipart/form-data; boundary=B", 400, "Invalid file name"},
        {"line break in the name", uploadForm("B", f.token, "window", "a\r\nb.png", fakePng(3)),
         "multipart/form-data; boundary=B", 400, "Invalid file name"},
        {"escape in the name", uploadForm("B", f.token, "window", "\x1b[2Ja.png", fakePng(3)),
         "multipart/form-data; boundary=B", 400, "Invalid file name"},
        {"reordering mark in the name",
         uploadForm("B", f.token, "window", "\xE2\x80\xAEgnp.exe", fakePng(3)),
         "multipart/form-data; boundary=B", 400, "Invalid file name"},
        {"no file part",
         form.substr(0, form.find("--B\r\nContent-Disposition: form-data; name=\"file\"")) +
             "--B--\r\n",
         "multipart/form-data; boundary=B", 400, "No file uploaded"},
        {"cut off mid-file", form.substr(0, form.size() - 40), "multipart/form-data; boundary=B",
         400, "Invalid request: malformed multipart form"},
        {"no boundary", form, "multipart/form-data", 400,
         "Invalid request: malformed multipart form"},
        {"upload as JSON", json{{"action", "upload"}, {"token", f.token}}.dump(),
         "application/json", 400, "Invalid request: an upload is a multipart form"},
        {"list, bad token", json{{"action", "list"}, {"token", "x"}}.dump(), "application/json",
         401, "Unauthorized"},
        {"delete, id as text", deleteRequest(f.token, "1").dump(), "application/json", 400,
         "Invalid request: screenshot_id must be an integer"},
        {"delete, id fractional", deleteRequest(f.token, 1.5).dump(), "application/json", 400,
         "Invalid request: screenshot_id must be an integer"},
        {"delete, unknown id", deleteRequest(f.token, 999).dump(), "application/json", 404,
         "Screenshot not found"},
        {"broken JSON", "{\"action\":", "application/json", 400, "Invalid JSON"},
        {"unknown action", json{{"action", "rename"}}.dump(), "application/json", 400,
         "Unknown action"},
    };
    for (const auto& c : cases) {
        const Reply reply = postRaw(f.client, kSync, c.body, c.contentType);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.raw;
        EXPECT_EQ(reply.body.value("success", true), false) << c.what;
        EXPECT_EQ(reply.error(), c.error) << c.what;
    }
    EXPECT_TRUE(filesUnder(f.dir.path() / "tmp").empty()) << "refused uploads leave nothing";

    // The quota counts stored bytes to the byte; the same bytes again cost nothing.
    ASSERT_TRUE(upload(f.client, f.token, fakePng(10, 4096)).ok());
    ASSERT_TRUE(upload(f.client, f.token, fakePng(11, 4096)).ok());
    const Reply over = upload(f.client, f.token, fakePng(12, 2049));
    EXPECT_EQ(over.status, 507);
    EXPECT_EQ(over.error(), "Storage quota exceeded: 8192 of 10240 bytes used");
    EXPECT_TRUE(upload(f.client, f.token, fakePng(12, 2048)).ok());
    EXPECT_TRUE(upload(f.client, f.token, fakePng(10, 4096)).ok());
    EXPECT_EQ(upload(f.client, f.token, fakePng(13, 100)).status, 507);
}

TEST(SyncApi, filesAreSharedByEqualBytesOfOneUserAndHiddenFromOthers)
{
    Fixture f;
    const std::string bob = registerUser(f.client, "bob");
    const std::string bytes = fakePng(7, 10'000);
    const std::int64_t id = upload(f.client, f.token, bytes, "a.png").body["screenshot"]["id"];
    const std::int64_t twin = upload(f.client, f.token, bytes, "b.png").body["screenshot"]["id"];
    ASSERT_NE(id, twin);
    EXPECT_EQ(f.stored().size(), 1u);
    const json user =
        post(f.client, kAuth, {{"action", "validate"}, {"token", f.token}}).body["user"];
    EXPECT_EQ(user["screenshot_count"], 2);
    EXPECT_EQ(user["storage_used_bytes"], 10'000);

    EXPECT_TRUE(listing(f.client, bob).empty());
    // Someone else's id and an id that does not exist must be indistinguishable.
    for (const std::int64_t probe : {id, id + 1000}) {
        EXPECT_EQ(download(f.client, bob, probe).raw, "Screenshot not found");
        const Reply removed = post(f.client, kSync, deleteRequest(bob, probe));
        EXPECT_EQ(removed.status, 404);
        EXPECT_EQ(removed.error(), "Screenshot not found");
    }
    // The same bytes uploaded by two users are two private copies.
    ASSERT_TRUE(upload(f.client, bob, bytes).ok());
    EXPECT_EQ(f.stored().size(), 2u);
    ASSERT_TRUE(post(f.client, kSync, deleteRequest(f.token, id)).ok());
    EXPECT_EQ(download(f.client, f.token, twin).raw, bytes) << "the twin still needs the file";
    ASSERT_TRUE(post(f.client, kSync, deleteRequest(f.token, twin)).ok());
    EXPECT_EQ(f.stored().size(), 1u) << "the last record took its file with it";
}

TEST(SyncApi, downloadErrorsAreShortTextsTheClientRecognises)
{
    Fixture f;
    const std::int64_t id = upload(f.client, f.token, fakePng(1)).body["screenshot"]["id"];
    const std::string t = f.token;
    const std::string good = "action=download&token=" + t + "&id=" + std::to_string(id);
    const struct {
        std::string query;
        int status;
        const char* text;
        const char* range = "";
        const char* contentRange = ""; // and the length it names, for 206
    } cases[] = {
        {good, 200, nullptr},
        {good, 206, nullptr, "bytes=0-9", "bytes 0-9/2048"},
        {good, 206, nullptr, "bytes=2040-", "bytes 2040-2047/2048"},
        {good, 206, nullptr, "bytes=-4", "bytes 2044-2047/2048"},
        {good, 416, nullptr, "bytes=2048-", "bytes */2048"},
        {good, 200, nullptr, "bytes=0-1,5-6"}, // several ranges: the whole file
        {"action=download&token=" + t + "&id=" + std::to_string(id + 1), 404,
         "Screenshot not found"},
        {"action=download&token=bad&id=1", 401, "Unauthorized"},
        {"action=download&id=1", 401, "Unauthorized"},
        {"action=download&token=" + t + "&id=abc", 400, "Invalid request"},
        {"action=download&token=" + t + "&id=-1", 400, "Invalid request"},
        {"action=download&token=" + t, 400, "Invalid request"},
        {"action=list&token=" + t, 400, "Invalid request"},
        {"", 400, "Invalid request"},
    };
    for (const auto& c : cases) {
        httplib::Headers headers;
        if (*c.range)
            headers.emplace("Range", c.range);
        const auto result = f.client.Get(std::string(kSync) + "?" + c.query, headers);
        ASSERT_TRUE(result) << c.query;
        EXPECT_EQ(result->status, c.status) << c.query << ' ' << c.range;
        EXPECT_EQ(result->get_header_value("Content-Range"), c.contentRange) << c.range;
        const std::string full = fakePng(1);
        const std::string range = c.contentRange;
        if (c.status == 206) {
            const std::size_t first = std::stoul(range.substr(6));
            const std::size_t last = std::stoul(range.substr(range.find('-') + 1));
            EXPECT_TRUE(result->body == full.substr(first, last - first + 1)) << range;
        } else if (c.status == 200) {
            EXPECT_TRUE(result->body == full);
        }
        if (c.text) {
            EXPECT_EQ(result->body, c.text) << c.query;
            EXPECT_LT(result->body.size(), 200u);
        }
    }
}

TEST(SyncApi, originalFilenameIsKeptAsSentAndNeverBecomesAPath)
{
    Fixture f;
    const char* names[] = {"../../../../tmp/glimra-escape.png",
                           "/etc/passwd",
                           "a/b/c.png",
                           "..",
                           ".",
                           ".hidden.png",
                           "C:\\Windows\\x.png",
                           "x\"; y=\"z.png",
                           "%2e%2e%2fx.png"};
    std::set<std::int64_t> ids;
    for (const char* name : names) {
        const Reply reply = upload(f.client, f.token, fakePng(static_cast<int>(ids.size())), name);
        ASSERT_TRUE(reply.ok()) << name << ": " << reply.raw;
        EXPECT_EQ(reply.body["screenshot"]["original_filename"], name);
        ids.insert(reply.body["screenshot"]["id"].get<std::int64_t>());
        const Reply got = download(f.client, f.token, reply.body["screenshot"]["id"]);
        const std::string disposition = header(got, "Content-Disposition");
        const std::string plain = disposition.substr(0, disposition.find("; filename*="));
        for (const char bad : {'/', '\\', '\r', '\n'})
            EXPECT_EQ(plain.find(bad), std::string::npos) << name << " gave " << disposition;
        EXPECT_EQ(std::count(plain.begin(), plain.end(), '"'), 2) << disposition;
    }
    const json list = listing(f.client, f.token);
    ASSERT_EQ(list.size(), std::size(names));
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i]["original_filename"], names[std::size(names) - 1 - i]);

    // The store named every file itself: one hash-named file per upload, inside its folder.
    EXPECT_FALSE(fs::exists("/tmp/glimra-escape.png"));
    for (const fs::path file : f.stored()) {
        const std::vector<fs::path> parts(file.begin(), file.end());
        ASSERT_GE(parts.size(), 3u) << file;
        EXPECT_EQ(parts[0], "blobs");
        EXPECT_EQ(parts[2].stem().string().size(), 64u) << file;
        EXPECT_EQ(std::count(parts.begin(), parts.end(), ".."), 0) << file;
    }
}

TEST(SyncApi, tokensOfDeletedUsersAreInvalidEverywhere)
{
    Fixture f;
    const std::string bob = registerUser(f.client, "bob");
    ASSERT_TRUE(upload(f.client, f.token, fakePng(1)).ok());
    ASSERT_TRUE(upload(f.client, bob, fakePng(2)).ok());
    // A row removed behind the server's back, with foreign keys off as in the sqlite3 shell.
    sqlite3* db = nullptr;
    if (onPostgres())
        runServerCommand({"delete-user", "alice", "--data", f.dir.path().string()});
    else if (sqlite3_open((f.dir.path() / "glimra.db").c_str(), &db) == SQLITE_OK)
        sqlite3_exec(db, "DELETE FROM users WHERE username = 'alice'", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const RunResult deleted =
        runServerCommand({"delete-user", "BOB", "--data", f.dir.path().string()});
    EXPECT_EQ(deleted.out, "Deleted user BOB and 1 screenshots\n");
    for (const std::string& token : {f.token, bob}) {
        EXPECT_EQ(post(f.client, kAuth, {{"action", "validate"}, {"token", token}}).status, 401);
        EXPECT_EQ(post(f.client, kSync, {{"action", "list"}, {"token", token}}).status, 401);
        EXPECT_EQ(upload(f.client, token, fakePng(3)).status, 401);
        EXPECT_EQ(download(f.client, token, 1).raw, "Unauthorized");
    }
    for (const std::string& object : f.stored())
        EXPECT_FALSE(object.starts_with("blobs/2/")) << "bob's files went with him: " << object;
}
