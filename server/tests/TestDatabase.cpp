// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>

namespace glimra::server::test {

namespace {

// Without Node every row of the team configuration would fail for the same reason; skip them
// all with that reason instead.
class TeamConfiguration : public testing::Environment {
public:
    void SetUp() override
    {
        if (!onBucket() || S3StandIn::available())
            return;
        // gtest reports a skip here without the mark ctest looks for; print it as for a test.
        std::cout << "[  SKIPPED ] Node 20 or later needed for the S3 stand-in" << std::endl;
        GTEST_SKIP();
    }
};

[[maybe_unused]] const testing::Environment* const g_team =
    testing::AddGlobalTestEnvironment(new TeamConfiguration);

} // namespace

// The team configuration names its PostgreSQL cluster; the bucket comes with it.
bool onPostgres()
{
    return std::getenv("GLIMRA_TEST_TEAM") != nullptr;
}

bool onBucket()
{
    return onPostgres();
}

std::string testDatabaseUrl(const fs::path& dataDir)
{
    // Named after the data folder: a server started again on the folder finds its records.
    const std::string name = "t" + std::to_string(std::hash<std::string>{}(dataDir.string()));
    const std::string cluster = std::getenv("GLIMRA_TEST_TEAM");
    // Fails harmlessly when the database is there already.
    (void)std::system(("createdb -h " + cluster + " -U postgres " + name + " 2>/dev/null").c_str());
    return "postgresql://postgres@/" + name + "?host=" + cluster;
}

S3StandIn& sharedBucket()
{
    // One per test process, so a server started again on its folder finds its objects; it
    // ends with the process (see the stand-in's stdin).
    static const std::unique_ptr<S3StandIn> standIn = std::make_unique<S3StandIn>();
    return *standIn;
}

std::vector<std::string> storedObjects(const fs::path& dataDir)
{
    if (onBucket())
        return sharedBucket().keys();
    std::vector<std::string> names;
    if (fs::exists(dataDir / "blobs")) {
        for (const fs::path& file : filesUnder(dataDir / "blobs"))
            names.push_back(file.lexically_relative(dataDir).string());
    }
    return names;
}

} // namespace glimra::server::test
