// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile load for glimra-server's benchmark.
//   glimra-server-hostile PORT slow CONNECTIONS SECONDS   header bytes one at a time, every 5 s
//   glimra-server-hostile PORT loginlist CLIENTS SECONDS  login + list in a loop, per client
//   glimra-server-hostile PORT flood header|fields CONNECTIONS MEGABYTES
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// Slow connections come from many loopback addresses, as from many machines.
int connectFrom(int port, int index)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(0x7F000000u + 10 + static_cast<unsigned>(index / 40));
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int slow(int port, int count, int seconds)
{
    const std::string start = "POST /glimra/api/auth.php HTTP/1.1\r\nHost: b\r\n";
    std::vector<int> fds(static_cast<std::size_t>(count), -1);
    int reconnects = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (int round = 0; Clock::now() < end; ++round) {
        for (int i = 0; i < count; ++i) {
            int& fd = fds[static_cast<std::size_t>(i)];
            // One byte per connection every 5 s; a connection the server cut is opened again.
            if (fd >= 0 && round % 5 == 0 && !sendAll(fd, "X")) {
                ::close(fd);
                fd = -1;
                ++reconnects;
            }
            if (fd < 0 && (fd = connectFrom(port, i)) >= 0 && !sendAll(fd, start)) {
                ::close(fd);
                fd = -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::printf("slow connections: %d held for %d s, %d cut by the server and reopened\n", count,
                seconds, reconnects);
    for (int fd : fds)
        ::close(fd);
    return 0;
}

int loginList(int port, int clients, int seconds)
{
    std::vector<std::vector<double>> times(static_cast<std::size_t>(clients));
    std::atomic<int> failed{0};
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(60, 0);
            const std::string name = "loader" + std::to_string(c);
            client.Post("/glimra/api/auth.php",
                        json{{"action", "register"},
                             {"username", name},
                             {"email", name + "@example.com"},
                             {"password", "benchmark password"}}
                            .dump(),
                        "application/json");
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                const auto in = client.Post("/glimra/api/auth.php",
                                            json{{"action", "login"},
                                                 {"username", name},
                                                 {"password", "benchmark password"}}
                                                .dump(),
                                            "application/json");
                const json reply = in ? json::parse(in->body, nullptr, false) : json();
                const json token = reply.is_object() ? reply.value("token", json()) : json();
                const auto list = client.Post("/glimra/api/sync.php",
                                              json{{"action", "list"}, {"token", token}}.dump(),
                                              "application/json");
                if (!token.is_string() || !list || list->status != 200)
                    ++failed;
                times[static_cast<std::size_t>(c)].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            }
        });
    }
    for (auto& t : threads)
        t.join();
    std::vector<double> all;
    for (const auto& t : times)
        all.insert(all.end(), t.begin(), t.end());
    std::sort(all.begin(), all.end());
    const double p99 = all.empty() ? 0 : all[all.size() * 99 / 100];
    std::printf("login+list: %zu pairs from %d clients in %d s = %.1f pairs/s, p99 %.0f ms, "
                "%d failed\n",
                all.size(), clients, seconds, static_cast<double>(all.size()) / seconds, p99,
                failed.load());
    return 0;
}

int flood(int port, const std::string& kind, int connections, int megabytes)
{
    std::atomic<long long> sent{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c) {
        threads.emplace_back([&, c] {
            const int fd = connectFrom(port, c * 40);
            const std::string line = kind == "header"
                                         ? "X-Flood: " + std::string(8000, 'x') + "\r\n"
                                         : "--B\r\nContent-Disposition: form-data; name=\"a\"\r\n"
                                           "\r\n" +
                                               std::string(4000, 'a') + "\r\n";
            std::string head = kind == "header"
                                   ? "GET /healthz HTTP/1.1\r\nHost: b\r\n"
                                   : "POST /glimra/api/sync.php HTTP/1.1\r\nHost: b\r\n"
                                     "Content-Type: multipart/form-data; boundary=B\r\n"
                                     "Transfer-Encoding: chunked\r\n\r\n";
            bool open = sendAll(fd, head);
            const long long limit = static_cast<long long>(megabytes) << 20;
            for (long long done = 0; open && done < limit; done += line.size()) {
                char size[16];
                std::snprintf(size, sizeof size, "%zx\r\n", line.size());
                open = kind == "header" ? sendAll(fd, line) : sendAll(fd, size + line + "\r\n");
                if (open)
                    sent += static_cast<long long>(line.size());
            }
            ::close(fd);
        });
    }
    for (auto& t : threads)
        t.join();
    std::printf("%s flood: %d connections, %.1f MB sent (into socket buffers) before the server closed them\n",
                kind.c_str(), connections, static_cast<double>(sent.load()) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 4 && a[1] == "slow")
        return slow(std::stoi(a[0]), std::stoi(a[2]), std::stoi(a[3]));
    if (a.size() == 4 && a[1] == "loginlist")
        return loginList(std::stoi(a[0]), std::stoi(a[2]), std::stoi(a[3]));
    if (a.size() == 5 && a[1] == "flood")
        return flood(std::stoi(a[0]), a[2], std::stoi(a[3]), std::stoi(a[4]));
    std::fprintf(stderr, "usage: see the top of HostileLoad.cpp\n");
    return 2;
}
