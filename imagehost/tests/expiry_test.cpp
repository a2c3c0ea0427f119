#include "http_client.h"
#include "image_service.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string upload_expiring(TestServer& server, std::optional<std::string> seconds)
{
    UploadForm form;
    form.file_bytes = fake_image("png", 700);
    form.self_destruct = std::move(seconds);
    auto res = upload(server.port(), form);
    EXPECT_EQ(res.status, 200) << res.body;
    return target_of(res.header("uploaded"));
}

fs::path file_of(TestServer& server, const std::string& target)
{
    return server.data_dir() / "images" / target.substr(1, 32);
}

TEST(Expiry, AddressDisappearsExactlyWhenItsTimeHasCome)
{
    TestServer server;
    auto target = upload_expiring(server, "3600");
    EXPECT_EQ(fetch(server.port(), target).header("cache-control"), "public, max-age=3600");
    server.clock().advance(3599);
    auto last = fetch(server.port(), target);
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(last.header("cache-control"), "public, max-age=1");
    server.clock().advance(1);
    // Gone at once, although the reaper has not run and the file is still there.
    EXPECT_EQ(fetch(server.port(), target).status, 404);
    EXPECT_EQ(fetch(server.port(), target, true).status, 404);
    EXPECT_TRUE(fs::exists(file_of(server, target)));

    EXPECT_EQ(server.server().service().reap(), 1u);
    EXPECT_FALSE(fs::exists(file_of(server, target)));
    server.restart();
    EXPECT_EQ(fetch(server.port(), target).status, 404);
}

TEST(Expiry, ImagesWithoutTimeoutStay)
{
    TestServer server;
    auto keep = upload_expiring(server, std::nullopt);
    auto brief = upload_expiring(server, "60");
    server.clock().advance(10LL * 365 * 86400);
    EXPECT_EQ(server.server().service().reap(), 1u);
    EXPECT_EQ(fetch(server.port(), keep).status, 200);
    EXPECT_EQ(fetch(server.port(), brief).status, 404);
    EXPECT_EQ(server.count_files("images"), 1u);
}

TEST(Expiry, ReaperRetriesWhatItCannotDelete)
{
    TestServer server;
    auto target = upload_expiring(server, "60");
    auto path = file_of(server, target);
    // A non-empty directory in place of the file: unlink fails even for root.
    fs::remove(path);
    fs::create_directories(path / "obstacle");
    server.clock().advance(61);
    EXPECT_EQ(server.server().service().reap(), 0u);
    EXPECT_EQ(fetch(server.port(), target).status, 404);
    fs::remove_all(path);
    EXPECT_EQ(server.server().service().reap(), 1u);
    EXPECT_EQ(server.server().service().reap(), 0u);
}

TEST(Expiry, ReaperRunsAtStartUpAndPeriodically)
{
    TestServer server([](Config& c) { c.reap_interval_seconds = 1; });
    auto first = upload_expiring(server, "60");
    server.stop();
    server.clock().advance(61);
    server.restart();  // reaps before serving
    EXPECT_FALSE(fs::exists(file_of(server, first)));

    auto second = upload_expiring(server, "120");
    server.clock().advance(121);
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (fs::exists(file_of(server, second)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(fs::exists(file_of(server, second)));
}

}  // namespace
}  // namespace imagehost::testing
