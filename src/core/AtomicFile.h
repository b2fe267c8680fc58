// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace glimra {

// A new file written under a hidden temporary name beside its destination and given its
// final name only once it is whole, so readers, file managers and folder watchers never see
// a part of it. Whatever fails, no temporary is left behind.
class AtomicFile final {
public:
    struct Options {
        // The finished file's mode; by default that of any new file, 0666 less the umask.
        std::optional<mode_t> mode;
        // Waits for the disk before the rename, so that after a crash the final name never
        // stands for lost data. Costs a capture noticeable time on slow media.
        bool sync = false;
    };

    // destination decides the folder the temporary is made in. Nothing is created yet.
    explicit AtomicFile(const QString& destination, Options options);
    explicit AtomicFile(const QString& destination) : AtomicFile(destination, Options()) {}
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Gives the finished file the destination's name, replacing a file of that name.
    bool commit();
    // Gives it target's name unless a file of that name exists; then false with
    // errorNumber() EEXIST, and another target may be tried.
    bool commitIfFree(const QString& target);

    // Whether a file name is one of the temporaries open() makes (".NAME.XXXXXX"), for NAME;
    // one left behind by a crash is recognised by it.
    static bool isTemporaryName(QStringView fileName, QStringView forName);
    static bool isTemporaryName(QStringView fileName);

    // The C library's description of the last failure, and its errno.
    QString errorString() const;
    int errorNumber() const { return m_errno; }

private:
    bool finish();
    bool fail();

    QString m_destination;
    Options m_options;
    QByteArray m_tempName;
    int m_fd = -1;
    bool m_finished = false;
    bool m_published = false;
    int m_errno = 0;
};

// The whole file at once: an empty string on success, else "cannot write PATH: reason".
QString writeFileAtomically(const QString& path, const QByteArray& bytes,
                            AtomicFile::Options options = {});

} // namespace glimra
