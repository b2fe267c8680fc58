// SPDX-License-Identifier: GPL-3.0-or-later
#include "Crypto.h"
#include "HttpServer.h"
#include "MoveStore.h"
#include "ObjectStore.h"
#include "Options.h"
#include "Service.h"
#include "Store.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <iostream>
#include <thread>

using namespace glimra::server;

namespace {

// The serving process's claim on its data folder, held until it exits. Two servers on one
// folder would each take the other's uploads in progress for debris.
bool lockData(const fs::path& dir)
{
    const int fd = ::open((dir / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open " + (dir / "lock").string());
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    ::close(fd);
    return false;
}

// The bucket of --storage; none without it. Throws with a message.
std::unique_ptr<ObjectStore> openBucket(const ServerOptions& options)
{
    if (options.storageUrl.empty())
        return nullptr;
    std::string message;
    const auto credentials = loadS3Credentials(options.storageCredentials, message);
    if (!credentials)
        throw std::runtime_error(message);
    return std::make_unique<ObjectStore>(*parseS3Url(options.storageUrl), *credentials,
                                         options.dataDir / "tmp");
}

Store openStore(const ServerOptions& options, bool create)
{
    return Store(options.dataDir, create, options.databaseUrl, openBucket(options));
}

void printList(const char* what, const std::vector<std::string>& items, std::size_t most)
{
    for (std::size_t i = 0; i < items.size() && i < most; ++i)
        std::cerr << "glimra-server: " << what << ": " << items[i] << '\n';
    if (items.size() > most)
        std::cerr << "glimra-server: ... and " << items.size() - most << " more\n";
}

int addUser(const Invocation& inv)
{
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    std::optional<std::string> problem = usernameError(inv.userName);
    if (!problem)
        problem = emailError(inv.email);
    if (!problem)
        problem = passwordError(password);
    if (problem) {
        std::cerr << "glimra-server: " << *problem << '\n';
        return 1;
    }
    Store store(inv.options.dataDir, true, inv.options.databaseUrl);
    PasswordHasher hasher;
    if (!store.createUser(inv.userName, inv.email, hasher.hash(password))) {
        std::cerr << "glimra-server: Username already taken\n";
        return 1;
    }
    std::cout << "Added user " << inv.userName << '\n';
    return 0;
}

int deleteUser(const Invocation& inv)
{
    Store store = openStore(inv.options, false);
    const auto screenshots = store.deleteUser(inv.userName);
    if (!screenshots) {
        std::cerr << "glimra-server: no user " << inv.userName << '\n';
        return 1;
    }
    std::cout << "Deleted user " << inv.userName << " and " << *screenshots << " screenshots\n";
    return 0;
}

int sweep(const Invocation& inv)
{
    Store store = openStore(inv.options, true);
    if (!store.usesBucket()) {
        std::cerr << "glimra-server: sweep tidies a bucket (--storage); check looks at a folder\n";
        return 2;
    }
    const SweepReport r = store.sweep(inv.graceSeconds, unixNow());
    if (!r.ran) {
        std::cout << "another server is sweeping; nothing done\n";
        return 0;
    }
    std::cout << "removed " << r.tombstonesCleared << " deleted objects, " << r.pendingCleared
              << " unfinished uploads, " << r.objectsRemoved << " objects without row\n";
    printList("object without row", r.objectsWithoutRow, 20);
    printList("row without object (kept)", r.rowsWithoutObject, 20);
    if (r.refusedToRemove)
        std::cout << "more objects without row than rows: is this the database of this bucket? "
                     "nothing was removed\n";
    return r.rowsWithoutObject.empty() && !r.refusedToRemove ? 0 : 1;
}

int migrate(const Invocation& inv)
{
    // The folder must hold still while it is copied.
    if (!lockData(inv.from)) {
        std::cerr << "glimra-server: a server is using " << inv.from.string()
                  << "; stop it first\n";
        return 1;
    }
    Store target = openStore(inv.options, true);
    const MoveReport r = moveStore(inv.from, target);
    std::cout << "made " << r.accounts << " accounts, copied " << r.screenshots
              << " screenshots, found " << r.present << " there already; copied " << r.links
              << " share links, found " << r.linksPresent << " there already\n";
    printList("left out", r.problems, 50);
    return r.problems.empty() ? 0 : 1;
}

// Every few minutes on each server; only one of them sweeps at a time.
class Sweeper {
public:
    explicit Sweeper(Store& store) : m_thread([this, &store] { loop(store); }) {}
    ~Sweeper()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    void loop(Store& store)
    {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::minutes(5), [this] { return m_stop; })) {
            try {
                const SweepReport r = store.sweep(86400, unixNow());
                printList("object without row, removed after a day", r.objectsWithoutRow, 10);
                printList("row without object", r.rowsWithoutObject, 10);
            } catch (const std::exception& e) {
                std::cerr << "glimra-server: sweep: " << e.what() << '\n';
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

int check(const Invocation& inv)
{
    if (!inv.options.storageUrl.empty()) {
        std::cerr << "glimra-server: check looks at a data folder; sweep tidies a bucket\n";
        return 2;
    }
    const fs::path& dir = inv.options.dataDir;
    if (inv.repair && !lockData(dir)) {
        std::cerr << "glimra-server: a server is using " << dir.string()
                  << "; stop it before repairing\n";
        return 1;
    }
    Store store(dir, false, inv.options.databaseUrl);
    const Repairs repairs{inv.repair, inv.repair, inv.repair};
    const CheckReport r = store.check(true, repairs);
    std::cout << dir.string() << ": " << r.records << " screenshots, " << r.files << " files\n";
    if (r.blobsMissing)
        std::cout << "blobs/ is missing\n";
    const std::pair<const char*, const std::vector<std::string>*> lists[] = {
        {"record without file", &r.recordsWithoutFile},
        {"file without record", &r.filesWithoutRecord},
        {"hash mismatch", &r.hashMismatches},
        {"temporary", &r.temporaries}};
    for (const auto& [what, items] : lists) {
        for (const std::string& item : *items)
            std::cout << what << ": " << item << '\n';
    }
    std::cout << "quarantined files: " << r.quarantined << '\n';
    if (r.clean()) {
        std::cout << "clean\n";
        return 0;
    }
    if (inv.repair) {
        std::cout << "repaired: temporaries removed, files without record quarantined, records "
                     "without file dropped"
                  << (r.hashMismatches.empty() ? "" : "; hash mismatches need a backup") << '\n';
        return r.hashMismatches.empty() && !r.blobsMissing ? 0 : 1;
    }
    std::cout << "not clean: glimra-server check --repair fixes what is listed above\n";
    return 1;
}

// Refuses a store that looks unmounted or mostly gone, then clears what a crash leaves.
bool startupCheck(Store& store, const fs::path& dir)
{
    const CheckReport look = store.check(false, {});
    const std::size_t expected =
        static_cast<std::size_t>(look.files) + look.recordsWithoutFile.size();
    const bool mostlyGone =
        look.recordsWithoutFile.size() >= 2 && look.recordsWithoutFile.size() * 2 > expected;
    if ((look.blobsMissing && expected > 0) || mostlyGone) {
        std::cerr << "glimra-server: " << look.recordsWithoutFile.size() << " of " << expected
                  << " stored files are missing from " << (dir / "blobs").string()
                  << ". Is the data disk mounted? Not starting, nothing was changed; "
                     "glimra-server check lists the state.\n";
        return false;
    }
    if (look.blobsMissing)
        ensureDirectory(dir / "blobs");
    const CheckReport done = store.check(false, {true, true, false});
    printList("record without its file (kept; see glimra-server check)", done.recordsWithoutFile,
              10);
    printList("file without record, moved to quarantine", done.filesWithoutRecord, 10);
    if (!done.temporaries.empty())
        std::cerr << "glimra-server: removed " << done.temporaries.size()
                  << " unfinished uploads\n";
    store.makeReserve();
    return true;
}

int serve(const ServerOptions& options)
{
    HttpServer server(options);
    // A client that hangs up mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (fs::create_directories(options.dataDir))
        fs::permissions(options.dataDir, fs::perms::owner_all, fs::perm_options::replace);
    if (!lockData(options.dataDir)) {
        std::cerr << "glimra-server: another glimra-server is serving " << options.dataDir.string()
                  << " (it holds the lock file in it)\n";
        return 1;
    }
    Store store = openStore(options, true);
    // Files in a bucket are the sweeper's; only this server's temporaries are checked here.
    if (store.usesBucket())
        fs::remove_all(options.dataDir / "tmp"), ensureDirectory(options.dataDir / "tmp");
    else if (!startupCheck(store, options.dataDir))
        return 1;
    std::optional<Sweeper> sweeper;
    if (store.usesBucket())
        sweeper.emplace(store);
    Service service(store, options);
    const int port = server.listen();
    const std::string host =
        options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    const std::string listening =
        (options.tlsCert.empty() ? "http://" : "https://") + host + ':' + std::to_string(port);
    service.setOrigin(options.publicUrl.empty() ? listening : options.publicUrl);
    std::cout << "glimra-server listening on " << listening << " (data " << options.dataDir.string()
              << ", registration " << (options.registrationOpen ? "open" : "closed") << ")"
              << std::endl;
    server.run(service);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = parseCommandLine(args, {std::getenv("XDG_DATA_HOME"), std::getenv("HOME")});
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "glimra-server: " << *error << "\nTry glimra-server --help\n";
        return 2;
    }
    const Invocation& inv = std::get<Invocation>(parsed);
    if (inv.command == Command::Help || inv.command == Command::Version) {
        std::cout << (inv.command == Command::Help ? usage()
                                                   : "glimra-server " GLIMRA_SERVER_VERSION "\n");
        return 0;
    }
    if (inv.command == Command::Serve) {
        // Held until the server can take them, so a stop asked for during start-up is kept.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    }
    if (!initCrypto()) {
        std::cerr << "glimra-server: libsodium could not be initialised\n";
        return 1;
    }
    try {
        switch (inv.command) {
        case Command::AddUser:
            return addUser(inv);
        case Command::DeleteUser:
            return deleteUser(inv);
        case Command::Check:
            return check(inv);
        case Command::Sweep:
            return sweep(inv);
        case Command::Migrate:
            return migrate(inv);
        default:
            return serve(inv.options);
        }
    } catch (const std::exception& e) {
        std::cerr << "glimra-server: " << e.what() << '\n';
        return 1;
    }
}
