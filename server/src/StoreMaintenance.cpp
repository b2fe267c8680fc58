// SPDX-License-Identifier: GPL-3.0-or-later
#include "Store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <system_error>

namespace glimra::server {

namespace {

constexpr off_t kReserveBytes = 4 << 20;

std::string inData(const fs::path& path, const fs::path& base)
{
    return path.lexically_relative(base).string();
}

std::string fileSha256(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    Sha256 hash;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        hash.update(buffer, static_cast<std::size_t>(in.gcount()));
    return hash.hexDigest();
}

} // namespace

bool isDiskFull(const std::exception& e)
{
    if (const auto* db = dynamic_cast<const DatabaseError*>(&e))
        return db->code == 13 || db->sqlState == "53100"; // SQLITE_FULL, disk_full
    const auto* sys = dynamic_cast<const std::system_error*>(&e);
    return sys && (sys->code().value() == ENOSPC || sys->code().value() == EDQUOT);
}

void Store::makeReserve()
{
    const fs::path path = m_data / "reserve";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // Best effort: a disk too full for it is reported by the first write that fails.
    if (::posix_fallocate(fd, 0, kReserveBytes) != 0)
        ::unlink(path.c_str());
    ::close(fd);
}

bool Store::releaseReserve()
{
    return ::unlink((m_data / "reserve").c_str()) == 0;
}

void Store::quarantine(const fs::path& file)
{
    const fs::path dir = m_data / "quarantine";
    ensureDirectory(dir);
    // The user folder joins the name, so equal file names of two users stay apart.
    const fs::path target =
        dir / (file.parent_path().filename().string() + "-" + file.filename().string());
    if (::rename(file.c_str(), target.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "quarantine " + file.string());
    // A rename changes the status time: it is when the grace period starts.
}

void Store::purgeQuarantine(int days)
{
    const fs::path dir = m_data / "quarantine";
    if (!fs::is_directory(dir))
        return;
    const auto cutoff = std::chrono::system_clock::now() - std::chrono::hours(24 * days);
    for (const auto& entry : fs::directory_iterator(dir)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) == 0 &&
            std::chrono::system_clock::from_time_t(info.st_ctime) < cutoff)
            fs::remove_all(entry.path());
    }
}

CheckReport Store::check(bool hashes, const Repairs& repairs, int quarantineDays)
{
    auto db = writer();
    CheckReport report;
    if (fs::is_directory(m_tmp)) {
        for (const auto& entry : fs::directory_iterator(m_tmp)) {
            report.temporaries.push_back(inData(entry.path(), m_data));
            if (repairs.removeTemporaries)
                fs::remove_all(entry.path());
        }
    }

    struct Blob {
        std::int64_t user;
        std::string sha;
        std::string ids;
    };
    std::map<fs::path, Blob> expected;
    // A file row no screenshot needs names a file that is about to be quarantined.
    if (repairs.quarantineStrays)
        db->exec("DELETE FROM blobs WHERE NOT EXISTS (SELECT 1 FROM screenshots s "
                 "WHERE s.user_id = blobs.user_id AND s.sha256 = blobs.sha256)");
    {
        auto rows = db->prepare(
            "SELECT b.user_id, b.sha256, b.ext, s.id "
            "FROM blobs b JOIN screenshots s ON s.user_id = b.user_id AND s.sha256 = b.sha256 "
            "ORDER BY s.id");
        while (rows.step()) {
            Blob& blob = expected[blobPath(rows.integer(0), rows.text(1), rows.text(2))];
            blob.user = rows.integer(0);
            blob.sha = rows.text(1);
            blob.ids += (blob.ids.empty() ? "" : ", ") + std::to_string(rows.integer(3));
            ++report.records;
        }
    }
    report.blobsMissing = !fs::is_directory(m_blobs);
    std::vector<const Blob*> lost;
    for (const auto& [path, blob] : expected) {
        if (fs::is_regular_file(path)) {
            ++report.files;
            if (hashes && fileSha256(path) != blob.sha)
                report.hashMismatches.push_back(inData(path, m_data));
        } else {
            report.recordsWithoutFile.push_back(inData(path, m_data) + " (screenshots " + blob.ids +
                                                ")");
            lost.push_back(&blob);
        }
    }
    if (repairs.dropRecordsWithoutFile && !lost.empty()) {
        Transaction tx(*db);
        for (const Blob* blob : lost) {
            for (const char* sql : {"DELETE FROM screenshots WHERE user_id = ? AND sha256 = ?",
                                    "DELETE FROM blobs WHERE user_id = ? AND sha256 = ?"})
                db->prepare(sql).bind(blob->user, blob->sha).run();
        }
        tx.commit();
    }

    if (!report.blobsMissing) {
        for (const auto& userDir : fs::directory_iterator(m_blobs)) {
            if (!userDir.is_directory())
                continue;
            for (const auto& entry : fs::directory_iterator(userDir.path())) {
                if (expected.contains(entry.path()))
                    continue;
                report.filesWithoutRecord.push_back(inData(entry.path(), m_data));
                if (repairs.quarantineStrays)
                    quarantine(entry.path());
            }
        }
    }
    if (repairs.quarantineStrays)
        purgeQuarantine(quarantineDays);
    if (fs::is_directory(m_data / "quarantine"))
        report.quarantined =
            static_cast<int>(std::distance(fs::directory_iterator(m_data / "quarantine"), {}));
    return report;
}

std::optional<int> Store::deleteUser(std::string_view name)
{
    // Objects go after the connection is back: dropping them needs one of their own.
    std::vector<std::string> drops;
    const auto deleted = [&]() -> std::optional<int> {
        auto db = writer();
        Transaction tx(*db);
        auto user = db->prepare("SELECT id FROM users WHERE username_key = ?");
        if (!user.bind(usernameKey(name)).step())
            return std::nullopt;
        const std::int64_t id = user.integer(0);
        lockUser(*db, id);
        std::vector<fs::path> files;
        std::vector<std::string> keys;
        {
            auto blobs = db->prepare("SELECT sha256, ext, object_key FROM blobs WHERE user_id = ?");
            blobs.bind(id);
            while (blobs.step()) {
                files.push_back(blobPath(id, blobs.text(0), blobs.text(1)));
                keys.push_back(blobs.text(2));
            }
        }
        if (m_objects) {
            for (const std::string& key : keys)
                db->prepare("INSERT INTO tombstones (object_key, since) VALUES (?, ?)")
                    .bind(key, unixNow())
                    .run();
        }
        const int screenshots =
            db->prepare("DELETE FROM screenshots WHERE user_id = ?").bind(id).run();
        for (const char* sql :
             {"DELETE FROM blobs WHERE user_id = ?", "DELETE FROM sessions WHERE user_id = ?",
              "DELETE FROM users WHERE id = ?"})
            db->prepare(sql).bind(id).run();
        tx.commit();
        // After the commit, like any delete: a crash in between leaves only strays to quarantine.
        for (const fs::path& file : m_objects ? std::vector<fs::path>() : files)
            ::unlink(file.c_str());
        ::rmdir((m_blobs / std::to_string(id)).c_str());
        if (m_objects)
            drops = std::move(keys);
        return screenshots;
    }();
    for (const std::string& key : drops)
        dropObject(key);
    return deleted;
}

} // namespace glimra::server
