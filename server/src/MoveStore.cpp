// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveStore.h"

#include <fstream>
#include <map>

namespace glimra::server {

namespace {

// How a screenshot is recognised in the target on a second run.
std::string identity(std::string_view file, std::string_view name, std::string_view uploadedAt)
{
    return std::string(file) + '\n' + std::string(name) + '\n' + std::string(uploadedAt);
}

// Live links keep their addresses, so what was handed out goes on working; one whose
// screenshot was left out is reported with it.
void moveShares(SqliteDatabase& source, const std::map<std::int64_t, std::int64_t>& moved,
                Store& to, MoveReport& report)
{
    // A folder from before share links has none to move.
    if (!source.prepare("SELECT 1 FROM sqlite_master WHERE name = 'shares'").step())
        return;
    auto links = source.prepare("SELECT id, screenshot_id, created_at, expires_at FROM shares "
                                "WHERE expires_at IS NULL OR expires_at > ?");
    links.bind(unixNow());
    while (links.step()) {
        const auto target = moved.find(links.integer(1));
        if (target == moved.end()) {
            report.problems.push_back("a share link to screenshot " +
                                      std::to_string(links.integer(1)) + ", left out with it");
            continue;
        }
        std::optional<std::int64_t> expiresAt;
        if (!links.isNull(3))
            expiresAt = links.integer(3);
        if (to.importShare(target->second, links.text(0), links.integer(2), expiresAt))
            ++report.links;
        else
            ++report.linksPresent;
    }
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

    std::map<std::int64_t, std::map<std::string, std::int64_t>> present; // identity -> id
    std::map<std::int64_t, std::int64_t> moved; // source screenshot id -> target id
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
                present[user].emplace(
                    identity(record.filename, record.originalFilename, record.uploadedAt),
                    record.id);
        }
        const std::string sha = rows.text(2);
        const std::string name = sha + "." + rows.text(3);
        const auto there = present[user].find(identity(name, rows.text(4), rows.text(6)));
        if (there != present[user].end()) {
            moved[rows.integer(0)] = there->second;
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
        moved[rows.integer(0)] =
            to.ingest(user, file, *type, rows.text(4), rows.text(5), std::nullopt, rows.text(6))
                .record.id;
        ++report.screenshots;
    }
    moveShares(source, moved, to, report);
    return report;
}

} // namespace glimra::server
