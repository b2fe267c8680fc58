// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Store.h"

#include <string>
#include <vector>

namespace glimra::server {

struct MoveReport {
    int accounts = 0;    // made in the target
    int screenshots = 0; // copied
    int present = 0;     // found in the target already
    int links = 0;       // live share links copied
    int linksPresent = 0;
    std::vector<std::string> problems;
};

// Copies the accounts, live sign-ins, screenshots and live share links of the data folder
// `from` (SQLite and files) into `to`; a link keeps its address. What `to` already holds (an
// account of the same name; a screenshot of the same account, bytes, name and upload time) is left
// alone, so a move that was cut off can simply run again. Every file is checked against its
// recorded hash before it is copied; a file that fails is reported and left out. `from` is only
// read.
MoveReport moveStore(const fs::path& from, Store& to);

} // namespace glimra::server
