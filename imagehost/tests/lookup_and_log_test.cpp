// Record lookups kept in memory, and the request log written in batches.
#include "metadata_store.h"
#include "record_cache.h"
#include "request_log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct TempDir {
    TempDir()
    {
        char pattern[] = "/tmp/imagehost-lookup-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

ImageRecord record(const std::string& id, std::optional<std::int64_t> expires = std::nullopt)
{
    ImageRecord r;
    r.id = id;
    r.extension = "png";
    r.size = 700;
    r.created = 1000;
    r.expires = expires;
    return r;
}

TEST(MetadataStore, RecordsFoundOnceAreGoneAsSoonAsRemoved)
{
    TempDir dir;
    MetadataStore store(dir.path / "images.sqlite3");
    std::string a(32, 'a'), b(32, 'b');
    store.insert_all({record(a, 5000), record(b)});
    for (int i = 0; i < 2; ++i) {  // the second round is answered from memory
        auto found = store.find(a);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->extension, "png");
        EXPECT_EQ(found->size, 700);
        EXPECT_EQ(found->expires, std::optional<std::int64_t>(5000));
        ASSERT_TRUE(store.find(b));
        EXPECT_FALSE(store.find(b)->expires);
    }
    store.remove(a);
    EXPECT_FALSE(store.find(a));
    EXPECT_TRUE(store.find(b));

    // An id looked up before it existed is found once it is inserted.
    std::string c(32, 'c');
    EXPECT_FALSE(store.find(c));
    store.insert(record(c));
    EXPECT_TRUE(store.find(c));
}

TEST(RecordCache, AReadOvertakenByARemovalIsNotKept)
{
    RecordCache cache(4);
    std::string a(32, 'a');
    auto before = cache.generation();
    cache.remove(a);  // the record was deleted while it was being read
    cache.put(record(a), before);
    EXPECT_FALSE(cache.find(a));

    cache.put(record(a), cache.generation());
    EXPECT_TRUE(cache.find(a));

    // Full: it starts over rather than growing.
    for (char c : std::string("bcdef"))
        cache.put(record(std::string(32, c)), cache.generation());
    EXPECT_TRUE(cache.find(std::string(32, 'f')));
    EXPECT_FALSE(cache.find(std::string(32, 'b')));
}

// Standard output sent to a file for the life of this object.
class CapturedStdout {
public:
    CapturedStdout() : path_(dir_.path / "out")
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::close(fd);
    }
    ~CapturedStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }
    std::string text() const
    {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    TempDir dir_;
    fs::path path_;
    int saved_ = -1;
};

TEST(RequestLog, LinesFromManyThreadsAreWrittenWholeSoonAndAllByTheEnd)
{
    CapturedStdout out;
    {
        RequestLog log;
        log.write("127.0.0.1", "GET", "/first", 200, 5, 3ms);
        // Written by the log's own thread, without further requests.
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (out.text().find("/first") == std::string::npos && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        EXPECT_NE(out.text().find("127.0.0.1 GET /first 200 5 3ms\n"), std::string::npos);

        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 2000; ++i)
                    log.write("10.0.0." + std::to_string(t), "POST", "/upload.php\n" + std::to_string(i), 200, 42,
                              1ms);
            });
        for (auto& thread : threads)
            thread.join();
    }  // destroying the log writes what is left
    auto text = out.text();
    std::regex line("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ 10\\.0\\.0\\.[0-3] POST /upload\\.php\\?\\d+ 200 42 1ms$");
    std::istringstream lines(text);
    std::string l;
    int posts = 0;
    while (std::getline(lines, l))
        if (l.find(" POST ") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(l, line)) << l;
            ++posts;
        }
    EXPECT_EQ(posts, 8000);
}

}  // namespace
}  // namespace imagehost::testing
