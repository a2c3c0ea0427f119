// The service on shared engines: records in PostgreSQL, images in an
// S3-compatible store, several instances at once. Runs under
// scripts/imagehost-engines.sh, which starts real PostgreSQL, Swift (S3) and
// nginx; without them every test fails, never skips.

#include "http_client.h"
#include "image_service.h"
#include "postgres_records.h"
#include "s3_client.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        throw std::runtime_error(std::string(name) + " is not set: run under scripts/imagehost-engines.sh");
    return value;
}

std::string random_name(const std::string& lead)
{
    std::random_device rd;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", rd(), rd());
    return lead + text;
}

// Runs SQL on the engines' database (or on `url`); throws on failure.
void run_sql(const std::string& sql, const std::string& url = env("IMAGEHOST_PG_URL"))
{
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(url.c_str()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn.get()));
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(conn.get(), sql.c_str()), PQclear);
    auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(PQerrorMessage(conn.get()));
}

// A database and a key prefix of its own for each test, on the shared engines.
struct SharedEngines : ::testing::Test {
    void SetUp() override
    {
        std::string base = env("IMAGEHOST_PG_URL");
        std::string name = random_name("t");
        run_sql("CREATE DATABASE " + name);
        database = base.substr(0, base.rfind('/') + 1) + name;
        prefix = random_name("p") + "/";
        storage = "s3://" + env("IMAGEHOST_S3_BUCKET") + "/" + prefix;
    }

    void use_engines(Config& c) const
    {
        c.engines.storage = storage;
        c.engines.s3_endpoint = env("IMAGEHOST_S3_ENDPOINT");
        c.engines.database = database;
        c.request_timeout_seconds = 20;
    }

    std::unique_ptr<TestServer> instance()
    {
        return std::make_unique<TestServer>([this](Config& c) { use_engines(c); });
    }

    S3Client store() const
    {
        S3Client::Settings s;
        s.endpoint = env("IMAGEHOST_S3_ENDPOINT");
        s.region = "us-east-1";
        s.bucket = env("IMAGEHOST_S3_BUCKET");
        s.prefix = prefix;
        s.access_key = env("AWS_ACCESS_KEY_ID");
        s.secret_key = env("AWS_SECRET_ACCESS_KEY");
        return S3Client(s);
    }

    std::size_t object_count() const
    {
        std::vector<S3Client::Listed> keys;
        std::string next;
        EXPECT_EQ(store().list("", keys, next), 200);
        return keys.size();
    }

    // A store's listing may trail its writes and deletions by a moment.
    bool object_count_settles_at(std::size_t expected) const;

    std::string database;
    std::string prefix;
    std::string storage;
};

std::string uploaded_target(const HttpResponse& res)
{
    EXPECT_EQ(res.status, 200) << res.body;
    return target_of(res.header("uploaded"));
}

// Polls `condition` for up to a minute.
template <class F>
bool eventually(F condition)
{
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(200ms);
    }
    return false;
}

bool SharedEngines::object_count_settles_at(std::size_t expected) const
{
    return eventually([&] { return object_count() == expected; });
}

TEST_F(SharedEngines, UploadThroughOneInstanceServesAndRangesThroughTheOther)
{
    auto a = instance();
    auto b = instance();
    std::map<std::string, std::string> images = {{"png", fake_image("png", 200000)}, {"jpg", fake_image("jpg", 3000)}};
    for (const auto& [extension, bytes] : images) {
        UploadForm form;
        form.file_bytes = bytes;
        auto target = uploaded_target(upload(a->port(), form));
        ASSERT_NE(target.find("." + extension), std::string::npos);

        auto whole = fetch(b->port(), target);
        EXPECT_EQ(whole.status, 200);
        EXPECT_EQ(whole.body, bytes);
        EXPECT_EQ(whole.header("content-type"), extension == "png" ? "image/png" : "image/jpeg");

        Connection c(b->port());
        ASSERT_TRUE(c.send("GET " + target + " HTTP/1.1\r\nHost: x\r\nRange: bytes=100-1099\r\n\r\n" +
                           "GET " + target + " HTTP/1.1\r\nHost: x\r\nRange: bytes=-10\r\n\r\n" +
                           "HEAD " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        auto part = c.read_response();
        ASSERT_TRUE(part);
        EXPECT_EQ(part->status, 206);
        EXPECT_EQ(part->body, bytes.substr(100, 1000));
        EXPECT_EQ(part->header("content-range"), "bytes 100-1099/" + std::to_string(bytes.size()));
        auto tail = c.read_response();
        ASSERT_TRUE(tail);
        EXPECT_EQ(tail->body, bytes.substr(bytes.size() - 10));
        auto head = c.read_response(true);
        ASSERT_TRUE(head);
        EXPECT_EQ(head->status, 200);
        EXPECT_EQ(head->header("content-length"), std::to_string(bytes.size()));
    }
    EXPECT_EQ(fetch(b->port(), "/0123456789abcdef0123456789abcdef.png").status, 404);
    EXPECT_TRUE(object_count_settles_at(images.size())) << object_count();
    // Nothing is left in the spool once the store has the image.
    EXPECT_EQ(a->count_files("spool/images"), 0u);
}

TEST_F(SharedEngines, ExpiryIsSeenByEveryInstanceAndEachImageReapedOnce)
{
    auto a = instance();
    auto b = instance();
    std::vector<std::string> targets;
    for (int i = 0; i < 6; ++i) {
        UploadForm form;
        form.file_bytes = fake_image("gif", 1000);
        form.self_destruct = "60";
        targets.push_back(uploaded_target(upload(a->port(), form)));
    }
    UploadForm kept;
    kept.file_bytes = fake_image("png", 1000);
    auto kept_target = uploaded_target(upload(b->port(), kept));
    for (const auto& target : targets)
        ASSERT_EQ(fetch(b->port(), target).status, 200);

    a->clock().advance(61);
    b->clock().advance(61);
    for (const auto& target : targets) {
        EXPECT_EQ(fetch(a->port(), target).status, 404);
        EXPECT_EQ(fetch(b->port(), target).status, 404);
    }
    // Both reap at once: every image is deleted by one of them.
    std::atomic<std::size_t> reaped{0};
    std::thread other([&] { reaped += b->server().service().reap(); });
    reaped += a->server().service().reap();
    other.join();
    EXPECT_EQ(reaped.load(), targets.size());
    EXPECT_TRUE(object_count_settles_at(1u)) << object_count();
    EXPECT_EQ(fetch(a->port(), kept_target).status, 200);
}

TEST_F(SharedEngines, ADeletionAddressWorksOnAnyInstanceAndEveryInstanceForgetsTheImage)
{
    auto a = instance();
    auto b = instance();
    UploadForm form;
    form.file_bytes = fake_image("png", 3000);
    auto stored = upload(a->port(), form);
    auto target = uploaded_target(stored);
    auto deletion = target_of(stored.header("deletion-url"));
    ASSERT_EQ(deletion.rfind("/delete/", 0), 0u) << deletion;
    ASSERT_EQ(fetch(a->port(), target).status, 200);
    ASSERT_EQ(fetch(b->port(), target).status, 200);

    Connection c(b->port());
    ASSERT_TRUE(c.send("POST " + deletion + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n"));
    auto deleted = c.read_response();
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 200) << deleted->body;
    EXPECT_EQ(fetch(a->port(), target).status, 404);
    EXPECT_EQ(fetch(b->port(), target).status, 404);
    EXPECT_TRUE(object_count_settles_at(0u)) << object_count();
}

TEST_F(SharedEngines, InstancesStartingTogetherCreateTheSchemaOnce)
{
    std::vector<std::thread> starting;
    std::atomic<int> failures{0};
    for (int i = 0; i < 4; ++i)
        starting.emplace_back([&] {
            try {
                PostgresRecords records(database);
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
                ++failures;
            }
        });
    for (auto& t : starting)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    PostgresRecords records(database);
    ImageRecord r;
    r.id = std::string(32, 'a');
    r.extension = "png";
    r.size = 5;
    records.insert_all({r});
    EXPECT_EQ(records.all_ids().size(), 1u);
}

TEST_F(SharedEngines, ObjectsWithoutARecordAreRemovedRecordedOnesKept)
{
    auto a = instance();
    UploadForm form;
    form.file_bytes = fake_image("png", 5000);
    auto target = uploaded_target(upload(a->port(), form));
    // What an instance killed between the object and its record leaves behind.
    TempDir dir;
    auto path = dir.path() / "orphan";
    std::ofstream(path, std::ios::binary) << fake_image("png", 100);
    ASSERT_EQ(store().put_file(std::string(32, 'e'), path, 100, "image/png"), 200);
    ASSERT_TRUE(object_count_settles_at(2u)) << object_count();

    // An hour ahead of the store's clock, every object is past its grace.
    a->clock().advance(std::time(nullptr) + 3600 - a->clock().now());
    EXPECT_EQ(a->server().service().storage().remove_orphans(), 1u);
    EXPECT_TRUE(object_count_settles_at(1u)) << object_count();
    EXPECT_EQ(fetch(a->port(), target).body, form.file_bytes);
}

TEST_F(SharedEngines, StoreOrDatabaseDownAnswers503ThenServiceResumes)
{
    auto a = instance();
    UploadForm form;
    form.file_bytes = fake_image("png", 20000);
    auto target = uploaded_target(upload(a->port(), form));
    std::string engines = env("IMAGEHOST_ENGINES");

    int rc = -1;
    run_command(engines + " stop-s3", &rc);
    ASSERT_EQ(rc, 0);
    auto started = std::chrono::steady_clock::now();
    auto get = fetch(a->port(), target);
    EXPECT_EQ(get.status, 503);
    EXPECT_EQ(get.header("retry-after"), "1");
    auto up = upload(a->port(), form);
    EXPECT_EQ(up.status, 503);
    EXPECT_EQ(up.header("retry-after"), "1");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    run_command(engines + " start-s3", &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(eventually([&] { return fetch(a->port(), target).status == 200; }));
    EXPECT_EQ(upload(a->port(), form).status, 200);

    run_command(engines + " stop-pg", &rc);
    ASSERT_EQ(rc, 0);
    get = fetch(a->port(), target);
    EXPECT_EQ(get.status, 503);
    EXPECT_EQ(get.header("retry-after"), "1");
    EXPECT_EQ(upload(a->port(), form).status, 503);
    run_command(engines + " start-pg", &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(eventually([&] { return fetch(a->port(), target).status == 200; }));
    EXPECT_EQ(fetch(a->port(), target).body, form.file_bytes);
    EXPECT_EQ(upload(a->port(), form).status, 200);
    // The uploads refused while the database was down left no object behind.
    EXPECT_TRUE(object_count_settles_at(3u)) << object_count();
}

TEST_F(SharedEngines, HungStoreOrDatabaseAnswers503WithinTheDeadline)
{
    auto a = std::make_unique<TestServer>([this](Config& c) {
        use_engines(c);
        c.request_timeout_seconds = 6;  // each engine gets 3 s of it
    });
    UploadForm form;
    form.file_bytes = fake_image("png", 20000);
    auto target = uploaded_target(upload(a->port(), form));
    std::string engines = env("IMAGEHOST_ENGINES");
    auto within_deadline = [&](const HttpResponse& res, std::chrono::steady_clock::time_point started) {
        EXPECT_EQ(res.status, 503) << res.body;
        EXPECT_EQ(res.header("retry-after"), "1");
        EXPECT_LT(std::chrono::steady_clock::now() - started, 6s);
    };
    for (const char* engine : {"s3", "pg"}) {
        SCOPED_TRACE(engine);
        int rc = -1;
        run_command(engines + " freeze-" + engine, &rc);
        ASSERT_EQ(rc, 0);
        auto started = std::chrono::steady_clock::now();
        within_deadline(fetch(a->port(), target), started);
        started = std::chrono::steady_clock::now();
        within_deadline(upload(a->port(), form), started);
        run_command(engines + " thaw-" + engine, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_TRUE(eventually([&] { return fetch(a->port(), target).status == 200; }));
    }
    EXPECT_EQ(fetch(a->port(), target).body, form.file_bytes);
}

// The executable as a child process, its output in a file.
class Instance {
public:
    Instance(std::vector<std::string> args, const std::filesystem::path& log) : log_(log)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* binary = std::getenv("IMAGEHOST_BINARY");
        args.insert(args.begin(), binary ? binary : "./imagehost");
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("spawn failed");
    }
    ~Instance() { kill_hard(); }

    std::string log() const
    {
        std::ifstream in(log_);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool wait_listening()
    {
        return eventually([&] { return log().find("listening on") != std::string::npos; });
    }
    void kill_hard()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
};

TEST_F(SharedEngines, KillingOneInstanceBehindNginxLosesNothingAcknowledged)
{
    std::istringstream ports(env("IMAGEHOST_INSTANCE_PORTS"));
    std::string port_a, port_b;
    ports >> port_a >> port_b;
    auto nginx = static_cast<unsigned short>(std::stoi(env("IMAGEHOST_NGINX_PORT")));
    TempDir dir;
    auto start = [&](const std::string& port, const std::string& name, const std::string& grace) {
        auto instance = std::make_unique<Instance>(
            std::vector<std::string>{"--listen", "127.0.0.1:" + port, "--data-dir", (dir.path() / name).string(),
                                     "--public-url", "http://img.test", "--storage", storage, "--s3-endpoint",
                                     env("IMAGEHOST_S3_ENDPOINT"), "--database", database, "--orphan-grace", grace,
                                     // with no grace, every reap round also sweeps
                                     "--reap-interval", "1",
                                     // the eight uploaders all come from loopback
                                     "--upload-rate", "0", "--upload-bytes-per-hour", "0"},
            dir.path() / (name + ".log"));
        EXPECT_TRUE(instance->wait_listening()) << name << " did not start";
        return instance;
    };
    auto a = start(port_a, "a", "900");
    auto b = start(port_b, "b", "900");

    std::mutex mutex;
    std::map<std::string, std::string> acknowledged;  // target -> bytes
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::vector<std::thread> uploaders;
    for (int i = 0; i < 8; ++i)
        uploaders.emplace_back([&, i] {
            for (int n = 0; !stop; ++n) {
                UploadForm form;
                form.file_bytes = fake_image(i % 2 ? "png" : "jpg", 20000 + 997 * static_cast<std::size_t>(n % 50));
                try {
                    auto res = upload(nginx, form);
                    if (res.status == 200) {
                        std::lock_guard lock(mutex);
                        acknowledged[target_of(res.header("uploaded"))] = form.file_bytes;
                        continue;
                    }
                } catch (const std::exception&) {
                }
                ++refused;
            }
        });
    auto count = [&] {
        std::lock_guard lock(mutex);
        return acknowledged.size();
    };
    EXPECT_TRUE(eventually([&] { return count() >= 16; }));
    a->kill_hard();
    auto at_kill = count();
    EXPECT_TRUE(eventually([&] { return count() >= at_kill + 16; })) << "the other instance stopped serving";
    stop = true;
    for (auto& t : uploaders)
        t.join();
    std::printf("  %zu uploads acknowledged, %d refused or cut off by the kill\n", count(), refused.load());

    for (const auto& [target, bytes] : acknowledged) {
        auto res = fetch(nginx, target);
        ASSERT_EQ(res.status, 200) << target;
        ASSERT_EQ(res.body, bytes) << target;
    }
    // Restarted with no grace, the killed instance removes what it stored
    // without recording: then every object has its record and every record
    // its object (uploads recorded but cut off before their answer may stay).
    a = start(port_a, "a-again", "0");
    // The store stamps objects to the second, rounded up: one stored just
    // before the kill may look too new for the sweep at start, so it goes in
    // a later round.
    std::set<std::string> objects, records;
    auto matched = [&] {
        auto recorded = PostgresRecords(database).all_ids();
        records = std::set<std::string>(recorded.begin(), recorded.end());
        std::vector<S3Client::Listed> keys;
        std::string next;
        objects.clear();
        if (store().list("", keys, next) != 200)
            return false;
        for (const auto& k : keys)
            objects.insert(k.key);
        return objects == records;
    };
    EXPECT_TRUE(eventually(matched)) << objects.size() << " objects, " << records.size() << " records\n"
                                     << a->log();
    for (const auto& [target, bytes] : acknowledged)
        EXPECT_EQ(objects.count(target.substr(1, 32)), 1u) << target;
    auto first = acknowledged.begin();
    EXPECT_EQ(fetch(static_cast<unsigned short>(std::stoi(port_a)), first->first).body, first->second);
}

}  // namespace
}  // namespace imagehost::testing
