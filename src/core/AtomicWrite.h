// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>

// The file-writing rules with no Qt in them, so that the capture tool, which must start fast,
// shares them with the app instead of keeping copies.
namespace glimra::posix {

// The process's umask, read without changing it: umask(2) would race other threads.
mode_t currentUmask();

// Creates the hidden temporary a file at path is written into first (".NAME.XXXXXX" in the
// same folder, so the rename stays on one file system and the library's sweep knows it).
// Returns its descriptor and sets name, or -1 with errno set.
int openTemporaryBeside(const std::string& path, std::string* name);

// write(2) until every byte is written; false with errno set otherwise.
bool writeAll(int fd, const void* data, std::size_t size);

// The signals that end a process by default and that a writer holds back while its
// temporary exists: SIGINT, SIGTERM, SIGHUP, SIGQUIT.
sigset_t terminationSignals();

// rename(2) that fails with EEXIST instead of replacing an existing target.
bool renameNoReplace(const char* from, const char* to);

// Writes the parts one after another at path, whole or not at all: into a hidden temporary
// (".NAME.XXXXXX") beside it, then renamed over it. mode: the new file's permissions, by
// default 0666 under the umask. No sync; a reader never sees a partial file either way.
// Termination signals are held back while the temporary exists. Empty on success, else
// "cannot write PATH: reason".
std::string writeFileAtomically(const std::string& path,
                                std::span<const std::span<const unsigned char>> parts,
                                std::optional<mode_t> mode = std::nullopt);

} // namespace glimra::posix
