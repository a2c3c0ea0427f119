#include "http_client.h"
#include "image_address.h"
#include "test_server.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <map>

namespace imagehost::testing {
namespace {

namespace fs = std::filesystem;

TEST(Durability, RestartServesEveryAcknowledgedImage)
{
    TestServer server;
    std::map<std::string, std::string> stored;  // target -> bytes
    for (const char* type : {"png", "jpg", "gif", "bmp", "webp", "png", "png"}) {
        UploadForm form;
        form.file_bytes = fake_image(type, 4096);
        auto res = upload(server.port(), form);
        ASSERT_EQ(res.status, 200);
        stored[target_of(res.header("uploaded"))] = form.file_bytes;
    }
    server.restart();
    for (const auto& [target, bytes] : stored) {
        auto res = fetch(server.port(), target);
        EXPECT_EQ(res.status, 200) << target;
        EXPECT_EQ(res.body, bytes) << target;
    }
}

TEST(Durability, StartUpCleansWhatACrashLeftBehind)
{
    TestServer server;
    UploadForm form;
    form.file_bytes = fake_image("png", 2048);
    auto kept = target_of(upload(server.port(), form).header("uploaded"));
    auto lost = target_of(upload(server.port(), form).header("uploaded"));
    server.stop();

    auto images = server.data_dir() / "images";
    // Crash while writing: a half-written temporary file.
    std::ofstream(server.data_dir() / "tmp" / "0123.part") << "\x89PNG half";
    // Crash after the rename but before the record was committed.
    auto unrecorded = new_image_id();
    std::ofstream(images / unrecorded) << form.file_bytes;
    // A record whose file vanished (deleted by hand).
    fs::remove(images / lost.substr(1, 32));

    server.restart();
    EXPECT_EQ(server.count_files("tmp"), 0u);
    EXPECT_FALSE(fs::exists(images / unrecorded));
    EXPECT_EQ(fetch(server.port(), "/" + unrecorded + ".png").status, 404);
    EXPECT_EQ(fetch(server.port(), kept).body, form.file_bytes);
    // The stale record was dropped: a file appearing under that id later is not served.
    std::ofstream(images / lost.substr(1, 32)) << form.file_bytes;
    EXPECT_EQ(fetch(server.port(), lost).status, 404);
}

TEST(Durability, MetadataLivesInSqliteInWalMode)
{
    TestServer server;
    UploadForm form;
    form.file_bytes = fake_image("webp", 999);
    form.self_destruct = "600";
    auto target = target_of(upload(server.port(), form).header("uploaded"));
    server.stop();

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open((server.data_dir() / "images.sqlite3").c_str(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    auto query = [&](const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
        std::string row;
        if (sqlite3_step(s) == SQLITE_ROW)
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                row += (i ? "|" : "") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
        sqlite3_finalize(s);
        return row;
    };
    EXPECT_EQ(query("PRAGMA journal_mode"), "wal");
    auto created = server.clock().now();
    EXPECT_EQ(query("SELECT id, extension, size, created, expires FROM images"),
              target.substr(1, 32) + "|webp|999|" + std::to_string(created) + "|" + std::to_string(created + 600));
}

}  // namespace
}  // namespace imagehost::testing
