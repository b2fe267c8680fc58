// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <functional>

namespace glimra::server::test {

bool onPostgres()
{
    return std::getenv("GLIMRA_TEST_POSTGRES") != nullptr;
}

std::string testDatabaseUrl(const fs::path& dataDir)
{
    // Named after the data folder: a server started again on the folder finds its records.
    const std::string name = "t" + std::to_string(std::hash<std::string>{}(dataDir.string()));
    const std::string cluster = std::getenv("GLIMRA_TEST_POSTGRES");
    // Fails harmlessly when the database is there already.
    (void)std::system(("createdb -h " + cluster + " -U postgres " + name + " 2>/dev/null").c_str());
    return "postgresql://postgres@/" + name + "?host=" + cluster;
}

} // namespace glimra::server::test
