// Load generator for the image host benchmark (bench/compare_with_php.sh):
// one new connection per request, like a browser or the OrvoCapture client,
// for a fixed time at a given number of concurrent clients.
//
//   upload_bench upload PORT CLIENTS SECONDS   POST /upload.php, 200 KB PNG
//   upload_bench get PORT CLIENTS SECONDS PATH GET PATH
//   upload_bench store PORT                    one upload; prints the address
//
// Prints "<requests per second> <failures> <median ms> <p95 ms>".

#include "http_client.h"
#include "test_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace imagehost::testing;
using Steady = std::chrono::steady_clock;

namespace {

constexpr std::size_t kImageBytes = 200 * 1024;

int run(const std::string& mode, unsigned short port, int clients, double seconds, const std::string& path)
{
    auto image = fake_image("png", kImageBytes);
    std::vector<double> latencies_ms;
    std::mutex mutex;
    std::atomic<int> failures{0};
    auto started = Steady::now();
    auto deadline = started + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            UploadForm form;
            form.file_bytes = image;
            std::vector<double> mine;
            while (Steady::now() < deadline) {
                auto t0 = Steady::now();
                bool ok = false;
                try {
                    if (mode == "upload") {
                        auto res = upload(port, form);
                        ok = res.status == 200 && !res.header("uploaded").empty();
                    } else {
                        auto res = fetch(port, path);
                        ok = res.status == 200 && res.body.size() == kImageBytes;
                    }
                } catch (const std::exception&) {
                }
                if (!ok)
                    ++failures;
                mine.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
            }
            std::lock_guard lock(mutex);
            latencies_ms.insert(latencies_ms.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads)
        t.join();
    double elapsed = std::chrono::duration<double>(Steady::now() - started).count();
    if (latencies_ms.empty())
        return 1;
    std::sort(latencies_ms.begin(), latencies_ms.end());
    auto at = [&](double q) { return latencies_ms[static_cast<std::size_t>(q * (latencies_ms.size() - 1))]; };
    auto succeeded = static_cast<double>(latencies_ms.size()) - failures.load();
    std::printf("%.1f %d %.2f %.2f\n", succeeded / elapsed, failures.load(), at(0.5), at(0.95));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "store") {
            UploadForm form;
            form.file_bytes = fake_image("png", kImageBytes);
            auto res = upload(static_cast<unsigned short>(std::stoi(args[1])), form);
            if (res.status != 200)
                return 1;
            std::printf("%s\n", res.header("uploaded").c_str());
            return 0;
        }
        if ((args.size() == 4 && args[0] == "upload") || (args.size() == 5 && args[0] == "get"))
            return run(args[0], static_cast<unsigned short>(std::stoi(args[1])), std::stoi(args[2]),
                       std::stod(args[3]), args.size() == 5 ? args[4] : "");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "upload_bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: upload_bench upload PORT CLIENTS SECONDS | get PORT CLIENTS SECONDS PATH | store PORT\n");
    return 2;
}
