// Upload throughput and latency over loopback: 200 KB PNG uploads, built the
// way the OrvoCapture client builds them, at 1 and 8 concurrent clients.
// Prints figures; bounded in count and time.

#include "http_client.h"
#include "test_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace imagehost;
using namespace imagehost::testing;
using Steady = std::chrono::steady_clock;

namespace {

void run(unsigned short port, int clients, int uploads_per_client, const std::string& image)
{
    std::vector<double> latencies_ms;
    std::mutex mutex;
    std::atomic<int> failures{0};
    auto deadline = Steady::now() + std::chrono::seconds(30);
    auto started = Steady::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            UploadForm form;
            form.file_bytes = image;
            for (int i = 0; i < uploads_per_client && Steady::now() < deadline; ++i) {
                auto t0 = Steady::now();
                int status = 0;
                try {
                    status = upload(port, form).status;
                } catch (const std::exception&) {
                }
                double ms = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
                if (status != 200)
                    ++failures;
                std::lock_guard lock(mutex);
                latencies_ms.push_back(ms);
            }
        });
    for (auto& t : threads)
        t.join();
    double seconds = std::chrono::duration<double>(Steady::now() - started).count();
    std::sort(latencies_ms.begin(), latencies_ms.end());
    auto at = [&](double q) { return latencies_ms[static_cast<std::size_t>(q * (latencies_ms.size() - 1))]; };
    std::printf("%d client(s): %zu uploads in %.2f s = %.1f uploads/s, median %.2f ms, p95 %.2f ms, failures %d\n",
                clients, latencies_ms.size(), seconds, latencies_ms.size() / seconds, at(0.5), at(0.95),
                failures.load());
}

}  // namespace

int main()
{
    TestServer server([](Config& c) {
        c.threads = 2;
        c.log_requests = false;
    });
    auto image = fake_image("png", 200 * 1024);
    std::printf("imagehost upload benchmark: 200 KB PNG over loopback, 2 server threads, fsync on every upload\n");
    run(server.port(), 1, 200, image);
    run(server.port(), 8, 50, image);
    return 0;
}
