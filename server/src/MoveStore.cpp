// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveStore.h"

#include <fstream>
#include <map>
#include <set>

namespace glimra::server {

namespace {

// How a screenshot is recognised in the target on a second run.
std::string identity(std::string_view file, std::string_view name, std::string_view uploadedAt)
{
    return std::string(file) + '\n' + std::string(name) + '\n' + std::string(uploadedAt);
}

} // namespace

MoveReport moveStore(const fs::path& from, Store& to)
{
    if (!fs::exists(from / "glimra.db"))
        throw std::runtime_error("no Glimra data in " + from.string());
    SqliteDatabase source((from / "glimra.db").string());
    MoveReport report;
    std::map<std::int64_t, std::int64_t> accounts; // source id -> target id
    auto users = source.prepare("SELECT id, username, email, password_hash FROM users");
    while (users.step()) {
        auto id = to.createUser(users.text(1), users.text(2), users.text(3));
        report.accounts += id ? 1 : 0;
        if (!id) {
            const auto existing = to.credentials(users.text(1));
            if (!existing)
                continue;
            id = existing->userId;
        }
        accounts[users.integer(0)] = *id;
    }
    // Signed-in clients stay signed in; a sign-in moved by an earlier run is there already.
    auto sessions = source.prepare(
        "SELECT token_digest, user_id, expires_at FROM sessions WHERE expires_at > ?");
    sessions.bind(unixNow());
    while (sessions.step()) {
        try {
            if (accounts.contains(sessions.integer(1)))
                to.addSession(accounts[sessions.integer(1)], sessions.text(0), sessions.integer(2));
        } catch (const DatabaseError&) {
        }
    }

    std::map<std::int64_t, std::set<std::string>> present;
    auto rows = source.prepare(
        "SELECT s.id, s.user_id, b.sha256, b.ext, s.original_filename, s.capture_type, "
        "s.uploaded_at FROM screenshots s "
        "JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 ORDER BY s.id");
    while (rows.step()) {
        const auto account = accounts.find(rows.integer(1));
        if (account == accounts.end())
            continue;
        const std::int64_t user = account->second;
        if (!present.contains(user)) {
            for (const ScreenshotRecord& record : to.list(user))
                present[user].insert(
                    identity(record.filename, record.originalFilename, record.uploadedAt));
        }
        const std::string sha = rows.text(2);
        const std::string name = sha + "." + rows.text(3);
        if (present[user].contains(identity(name, rows.text(4), rows.text(6)))) {
            ++report.present;
            continue;
        }
        const fs::path path = from / "blobs" / std::to_string(rows.integer(1)) / name;
        std::ifstream in(path, std::ios::binary);
        IncomingFile file(to.tmpDir());
        char buffer[64 * 1024];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
            file.write(buffer, static_cast<std::size_t>(in.gcount()));
        file.finish();
        const auto type = sniffImage(file.head());
        if (!in.eof() || file.sha256() != sha || !type) {
            report.problems.push_back("screenshot " + std::to_string(rows.integer(0)) + ": " +
                                      path.string() +
                                      (in.eof() ? " does not match its hash" : " cannot be read"));
            continue;
        }
        to.ingest(user, file, *type, rows.text(4), rows.text(5), std::nullopt, rows.text(6));
        ++report.screenshots;
    }
    return report;
}

} // namespace glimra::server
