// The object store's own speed, for the shared-engines benchmark
// (bench/shared_engines_bench.sh): PUTs of 200 KB objects and GETs of one, by
// the same client code the image host uses (libcurl, SigV4), from several
// threads for a fixed time. Reads the store from the environment that
// scripts/imagehost-engines.sh sets.
//
//   store_bench put CLIENTS SECONDS PREFIX
//   store_bench get CLIENTS SECONDS PREFIX
//
// Prints "<requests per second> <failures>".

#include "image_address.h"
#include "s3_client.h"
#include "test_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using Steady = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: store_bench put|get CLIENTS SECONDS PREFIX\n");
        return 2;
    }
    std::string mode = argv[1];
    int clients = std::atoi(argv[2]);
    double seconds = std::atof(argv[3]);
    auto need = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    imagehost::S3Client::Settings settings;
    settings.endpoint = need("IMAGEHOST_S3_ENDPOINT");
    settings.bucket = need("IMAGEHOST_S3_BUCKET");
    settings.region = "us-east-1";
    settings.prefix = argv[4];
    settings.access_key = need("AWS_ACCESS_KEY_ID");
    settings.secret_key = need("AWS_SECRET_ACCESS_KEY");
    imagehost::S3Client client(settings);

    imagehost::testing::TempDir dir;
    auto file = dir.path() / "image.png";
    auto bytes = imagehost::testing::fake_image("png", 200 * 1024);
    std::ofstream(file, std::ios::binary) << bytes;
    const std::string get_key = "0123456789abcdef0123456789abcdef";
    if (client.put_file(get_key, file, bytes.size(), "image/png") != 200) {
        std::fprintf(stderr, "store_bench: the store refused a PUT\n");
        return 1;
    }

    std::atomic<long> done{0};
    std::atomic<int> failures{0};
    auto start = Steady::now();
    auto end = start + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&] {
            while (Steady::now() < end) {
                int status;
                if (mode == "put") {
                    status = client.put_file(imagehost::new_image_id(), file, bytes.size(), "image/png");
                } else {
                    std::size_t received = 0;
                    status = client.get(get_key, 0, bytes.size(), true, [&](std::string_view b) {
                        received += b.size();
                        return true;
                    });
                    if (received != bytes.size())
                        status = 0;
                }
                if (status == 200)
                    ++done;
                else
                    ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    double elapsed = std::chrono::duration<double>(Steady::now() - start).count();
    std::printf("%.1f %d\n", static_cast<double>(done.load()) / elapsed, failures.load());
    return 0;
}
