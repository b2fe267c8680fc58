// SPDX-License-Identifier: GPL-3.0-or-later
// Load for glimra-server's benchmark: parallel uploads, and the time of one big listing.
//   glimra-server-bench PORT uploads CLIENTS PER_CLIENT BYTES
//   glimra-server-bench PORT listing RECORDS
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// Processor time the whole machine spent, in seconds: with every part of the system on this
// machine, it is what an upload costs in all, the work of parts this tool cannot see included.
double machineBusySeconds()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    return (user + nice + system + irq + softirq + steal) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string registerUser(int port, const std::string& name)
{
    httplib::Client client("127.0.0.1", port);
    const json body{{"action", "register"},
                    {"username", name},
                    {"email", name + "@example.com"},
                    {"password", "benchmark password"}};
    const auto reply = client.Post("/glimra/api/auth.php", body.dump(), "application/json");
    if (!reply)
        throw std::runtime_error("no answer from the server");
    return json::parse(reply->body).at("token");
}

std::string form(const std::string& token, const std::string& name, const std::string& bytes)
{
    const std::string b = "5A0C1B3E-7F62-4D19-9E0B-6C2A8D4F1E73";
    std::string out;
    out.reserve(bytes.size() + 1024);
    for (const auto& [field, value] : {std::pair<std::string, std::string>{"token", token},
                                       {"action", "upload"},
                                       {"capture_type", "fullscreen"},
                                       {"original_filename", name}})
        out += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + field + "\"\r\n\r\n" +
               value + "\r\n";
    out += "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + name +
           "\"\r\nContent-Type: image/png\r\n\r\n";
    out += bytes;
    out += "\r\n--" + b + "--\r\n";
    return out;
}

// Each client its own account and connection, each upload different bytes.
int uploads(int port, int clients, int perClient, std::size_t size)
{
    std::vector<std::string> tokens;
    for (int c = 0; c < clients; ++c)
        tokens.push_back(registerUser(port, "bench" + std::to_string(c)));
    std::atomic<int> failed{0};
    const double busyBefore = machineBusySeconds();
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            std::mt19937 random(static_cast<unsigned>(c));
            std::string bytes = "\x89PNG\r\n\x1a\n";
            while (bytes.size() < size)
                bytes += static_cast<char>(random());
            for (int i = 0; i < perClient; ++i) {
                bytes[8] = static_cast<char>(i);
                bytes[9] = static_cast<char>(i >> 8);
                const std::string name = "shot-" + std::to_string(c) + "-" + std::to_string(i);
                const auto reply = client.Post("/glimra/api/sync.php", form(tokens[c], name, bytes),
                                               "multipart/form-data; boundary="
                                               "5A0C1B3E-7F62-4D19-9E0B-6C2A8D4F1E73");
                if (!reply || reply->body.find("\"success\":true") == std::string::npos)
                    ++failed;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int total = clients * perClient;
    std::printf("uploads: %d of %zu bytes from %d clients in %.2f s = %.1f uploads/s, %.1f MB/s"
                " (%d failed)\n",
                total, size, clients, seconds, total / seconds,
                static_cast<double>(total) * static_cast<double>(size) / seconds / 1e6,
                failed.load());
    std::printf("  machine processor time: %.1f ms an upload\n",
                (machineBusySeconds() - busyBefore) * 1000 / total);
    return failed == 0 ? 0 : 1;
}

int listing(int port, int records)
{
    const std::string token = registerUser(port, "lister");
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < 8; ++c) {
        threads.emplace_back([&] {
            httplib::Client client("127.0.0.1", port);
            for (int i = next++; i < records; i = next++) {
                std::string bytes = "\x89PNG\r\n\x1a\n" + std::to_string(i) + std::string(512, 'x');
                client.Post("/glimra/api/sync.php", form(token, "l-" + std::to_string(i), bytes),
                            "multipart/form-data; boundary=5A0C1B3E-7F62-4D19-9E0B-6C2A8D4F1E73");
            }
        });
    }
    for (auto& t : threads)
        t.join();
    httplib::Client client("127.0.0.1", port);
    const json request{{"action", "list"}, {"token", token}};
    std::vector<double> times;
    std::size_t count = 0;
    std::size_t bytes = 0;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        const auto reply = client.Post("/glimra/api/sync.php", request.dump(), "application/json");
        const json body = json::parse(reply->body);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        count = body.at("screenshots").size();
        bytes = reply->body.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("listing: %zu records, %zu bytes, median %.1f ms (fetch and parse)\n", count, bytes,
                times[2]);
    return count == static_cast<std::size_t>(records) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[1] == "uploads")
        return uploads(std::stoi(args[0]), std::stoi(args[2]), std::stoi(args[3]),
                       std::stoul(args[4]));
    if (args.size() == 3 && args[1] == "listing")
        return listing(std::stoi(args[0]), std::stoi(args[2]));
    std::fprintf(stderr, "usage: %s PORT uploads CLIENTS PER_CLIENT BYTES | PORT listing N\n",
                 argv[0]);
    return 2;
}
