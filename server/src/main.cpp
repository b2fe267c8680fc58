#include "Crypto.h"
#include "Options.h"
#include "Service.h"
#include "Store.h"

#include <httplib.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <thread>

using namespace glimra::server;

namespace {

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
    Store store(inv.options.dataDir);
    PasswordHasher hasher;
    if (!store.createUser(inv.userName, inv.email, hasher.hash(password))) {
        std::cerr << "glimra-server: Username already taken\n";
        return 1;
    }
    std::cout << "Added user " << inv.userName << '\n';
    return 0;
}

int serve(const ServerOptions& options)
{
    // Signals are taken by one thread with sigwait; every other thread inherits the block.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A client that hangs up mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    Store store(options.dataDir);
    const SweepReport swept = store.sweep();
    if (swept.temporaries + swept.unreferencedFiles + swept.recordsWithoutFile > 0) {
        std::cerr << "glimra-server: cleaned up " << swept.temporaries << " temporary files, "
                  << swept.unreferencedFiles << " unreferenced files, " << swept.recordsWithoutFile
                  << " records without a file\n";
    }

    std::unique_ptr<httplib::Server> server;
    const bool tls = !options.tlsCert.empty();
    if (tls) {
        server =
            std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    } else {
        server = std::make_unique<httplib::Server>();
    }
    if (!server->is_valid()) {
        std::cerr << "glimra-server: cannot use the TLS certificate or key\n";
        return 1;
    }
    const int threads = options.threads;
    server->new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<std::size_t>(threads));
    };
    // httplib refuses bodies past this before any handler runs; a form carries a few
    // kilobytes of fields around its file.
    server->set_payload_max_length(options.maxUploadBytes + 1024 * 1024);
    server->set_keep_alive_max_count(100);
    server->set_read_timeout(30, 0);
    server->set_write_timeout(30, 0);
    server->set_default_headers({{"Referrer-Policy", "no-referrer"}});

    Service service(store, options);
    service.install(*server);

    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port < 0) {
        std::cerr << "glimra-server: cannot listen on " << options.host << ':' << options.port
                  << '\n';
        return 1;
    }
    const std::string host =
        options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    std::cout << "glimra-server listening on " << (tls ? "https://" : "http://") << host << ':'
              << port << " (data " << options.dataDir.string() << ", registration "
              << (options.registrationOpen ? "open" : "closed") << ")" << std::endl;

    std::thread stopper([&server, signals] {
        int received = 0;
        sigwait(&signals, &received);
        // stop() closes the listening socket; listen_after_bind then waits for the requests
        // already being handled.
        server->stop();
    });
    const bool ok = server->listen_after_bind();
    if (stopper.joinable()) {
        // The listener may have ended on its own; wake the stopper so it can be joined.
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    return ok ? 0 : 1;
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
    if (inv.command == Command::Help) {
        std::cout << usage();
        return 0;
    }
    if (!initCrypto()) {
        std::cerr << "glimra-server: libsodium could not be initialised\n";
        return 1;
    }
    try {
        return inv.command == Command::AddUser ? addUser(inv) : serve(inv.options);
    } catch (const std::exception& e) {
        std::cerr << "glimra-server: " << e.what() << '\n';
        return 1;
    }
}
