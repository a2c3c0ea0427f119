#include "http_client.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;

TEST(Concurrency, FiftyParallelUploadsAllSucceedWithDistinctIds)
{
    TestServer server;
    constexpr int kUploads = 50;
    std::vector<std::string> images(kUploads);
    std::vector<HttpResponse> results(kUploads);
    std::vector<std::thread> clients;
    std::atomic<int> ready{0};
    for (int i = 0; i < kUploads; ++i) {
        images[i] = fake_image(i % 2 ? "png" : "jpg", 20000 + i * 100);
        clients.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kUploads)
                std::this_thread::yield();
            UploadForm form;
            form.file_bytes = images[i];
            form.self_destruct = "3600";
            try {
                results[i] = upload(server.port(), form);
            } catch (const std::exception& e) {
                results[i].body = e.what();
            }
        });
    }
    for (auto& t : clients)
        t.join();

    std::set<std::string> ids;
    for (int i = 0; i < kUploads; ++i) {
        ASSERT_EQ(results[i].status, 200) << i << ": " << results[i].body;
        ids.insert(results[i].header("uploaded"));
    }
    EXPECT_EQ(ids.size(), std::size_t(kUploads));

    // Download them all back in parallel too.
    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 5; ++t)
        readers.emplace_back([&, t] {
            for (int i = t; i < kUploads; i += 5)
                if (fetch(server.port(), target_of(results[i].header("uploaded"))).body != images[i])
                    ++mismatches;
        });
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(server.count_files("images"), std::size_t(kUploads));
}

TEST(Concurrency, SlowDripClientsDoNotStopServing)
{
    TestServer server([](Config& c) {
        c.threads = 2;
        c.header_timeout_seconds = 30;
    });
    UploadForm form;
    form.file_bytes = fake_image("png", 50000);
    auto target = target_of(upload(server.port(), form).header("uploaded"));

    // Eight times as many connections as worker threads, each sending one
    // header byte every 100 ms; bounded to about three seconds.
    constexpr int kDrips = 16;
    std::atomic<bool> stop{false};
    std::vector<std::thread> drips;
    for (int i = 0; i < kDrips; ++i)
        drips.emplace_back([&] {
            Connection c(server.port());
            std::string header = "POST /upload.php HTTP/1.1\r\nHost: x\r\nX-Slow: ";
            for (int n = 0; n < 40 && !stop; ++n) {
                c.send(std::string_view(&header[n % header.size()], 1));
                std::this_thread::sleep_for(100ms);
            }
        });
    std::this_thread::sleep_for(300ms);
    for (int i = 0; i < 10; ++i) {
        auto started = std::chrono::steady_clock::now();
        auto res = fetch(server.port(), target);
        EXPECT_EQ(res.status, 200);
        EXPECT_EQ(res.body, form.file_bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    }
    stop = true;
    for (auto& t : drips)
        t.join();
}

}  // namespace
}  // namespace imagehost::testing
