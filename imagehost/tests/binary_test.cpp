// Black-box tests of the real executable: flags, log output and signals.

#include "http_client.h"
#include "test_server.h"
#include "unique_fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace imagehost::testing {
namespace {

using namespace std::chrono_literals;

std::string binary_path()
{
    const char* path = std::getenv("IMAGEHOST_BINARY");
    return path ? path : "./imagehost";
}

// The executable as a child process with its standard output and error on
// one pipe; terminated and reaped on destruction. Descriptor limits, if
// given (ulimit's arguments), are set by a shell that then becomes the executable.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> args, const std::string& ulimit = {})
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        out_ = UniqueFd(fds[0]);
        UniqueFd write_end(fds[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, write_end.get(), 1);
        posix_spawn_file_actions_adddup2(&actions, write_end.get(), 2);
        args.insert(args.begin(), binary_path());
        if (!ulimit.empty())
            args.insert(args.begin(), {"/bin/sh", "-c", "ulimit " + ulimit + " && exec \"$@\"", "sh"});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("spawn failed");
    }
    ~ChildProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Waits (bounded) until the output contains a match for `pattern`.
    std::smatch wait_for_output(const std::regex& pattern, std::chrono::milliseconds timeout = 5s)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        std::smatch m;
        while (!std::regex_search(output_, m, pattern) && std::chrono::steady_clock::now() < deadline)
            read_output(100ms);
        return m;
    }

    // Waits (bounded) until the output holds `count` matches; returns how many it holds.
    std::size_t wait_for_matches(const std::regex& pattern, std::size_t count, std::chrono::milliseconds timeout = 5s)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (matches(pattern) < count && std::chrono::steady_clock::now() < deadline)
            read_output(100ms);
        return matches(pattern);
    }

    std::size_t matches(const std::regex& pattern)
    {
        read_output(0ms);
        return static_cast<std::size_t>(
            std::distance(std::sregex_iterator(output_.begin(), output_.end(), pattern), std::sregex_iterator()));
    }

    // User plus system time the process has used so far.
    double cpu_seconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

    int terminate_and_wait()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void signal(int number) { ::kill(pid_, number); }

    void kill_hard()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    int wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void read_output(std::chrono::milliseconds wait)
    {
        pollfd p{out_.get(), POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(wait.count())) > 0) {
            char buf[4096];
            ssize_t n = ::read(out_.get(), buf, sizeof buf);
            if (n <= 0)
                return;
            output_.append(buf, static_cast<std::size_t>(n));
            wait = 0ms;
        }
    }

    pid_t pid_ = -1;
    UniqueFd out_;
    std::string output_;
};

TEST(Binary, ServesWithFlagsLogsRequestsAndStopsOnSigterm)
{
    TempDir data;
    TempDir files;
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--public-url",
                        "https://img.example.org/", "--max-upload-bytes", "300000", "--threads", "2"});
    auto m = child.wait_for_output(std::regex("listening on 127\\.0\\.0\\.1:(\\d+)"));
    ASSERT_FALSE(m.empty()) << "server did not start";
    auto port = static_cast<unsigned short>(std::stoi(m[1]));

    auto image = fake_image("png", 200000);
    auto path = files.path() / "shot.png";
    std::ofstream(path, std::ios::binary) << image;
    std::string url = "http://127.0.0.1:" + std::to_string(port);
    int rc = -1;
    auto headers = run_command("curl -s -S -D - -o /dev/null -A OrvoCapture/1.8 -F 'file=@" + path.string() +
                                   ";type=application/octet-stream;filename=C:\\SHOTS\\A.PNG' " + url + "/upload.php",
                               &rc);
    ASSERT_EQ(rc, 0);
    std::smatch up;
    ASSERT_TRUE(std::regex_search(headers, up, std::regex("Uploaded: https://img\\.example\\.org/([0-9a-f]{32}\\.png)\r\n")))
        << headers;
    auto fetched = run_command("curl -s -f " + url + "/" + up[1].str(), &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fetched, image);
    EXPECT_TRUE(std::filesystem::exists(data.path() / "images.sqlite3"));

    // The size flag is honoured.
    UploadForm big;
    big.file_bytes = fake_image("png", 300001);
    EXPECT_EQ(upload(port, big).status, 413);

    EXPECT_FALSE(child.wait_for_output(std::regex("POST /upload\\.php 200 \\d+ \\d+ms")).empty());
    EXPECT_FALSE(child.wait_for_output(std::regex("GET /[0-9a-f]{32}\\.png 200 200000 ")).empty());
    EXPECT_FALSE(child.wait_for_output(std::regex("POST /upload\\.php 413 ")).empty());
    EXPECT_EQ(child.terminate_and_wait(), 0);
}

unsigned short started_port(ChildProcess& child)
{
    auto m = child.wait_for_output(std::regex("listening on 127\\.0\\.0\\.1:(\\d+)"));
    if (m.empty())
        throw std::runtime_error("server did not start");
    return static_cast<unsigned short>(std::stoi(m[1]));
}

TEST(Binary, KilledAmidParallelUploadsKeepsEveryAcknowledgedImage)
{
    TempDir data;
    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--threads", "2",
                                  "--upload-rate", "0"};
    // Enough clients that uploads finish together and are committed in groups.
    constexpr int kClients = 16;
    std::map<std::string, std::string> acknowledged;  // target -> bytes
    {
        ChildProcess child(args);
        auto port = started_port(child);
        std::mutex mutex;
        std::atomic<bool> stop{false};
        std::atomic<int> answered{0};
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&, c] {
                for (int i = 0; i < 500 && !stop; ++i) {
                    UploadForm form;
                    form.file_bytes = fake_image(c % 3 ? "png" : "jpg", 20000 + 7919 * ((c + i) % 20));
                    try {
                        auto res = upload(port, form);
                        if (res.status == 200) {
                            std::lock_guard lock(mutex);
                            acknowledged[target_of(res.header("uploaded"))] = form.file_bytes;
                        }
                        ++answered;
                    } catch (const std::exception&) {
                        return;  // the server is gone
                    }
                }
            });
        // Kill while uploads are in every stage: being received, synced, committed, answered.
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (answered < 4 * kClients && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        child.kill_hard();  // no clean shutdown
        stop = true;
        for (auto& t : clients)
            t.join();
    }
    ASSERT_GE(acknowledged.size(), std::size_t(4 * kClients));

    ChildProcess restarted(args);
    auto port = started_port(restarted);
    for (const auto& [target, bytes] : acknowledged) {
        auto res = fetch(port, target);
        EXPECT_EQ(res.status, 200) << target;
        EXPECT_TRUE(res.body == bytes) << target << ": " << res.body.size() << " bytes instead of " << bytes.size();
    }
    EXPECT_TRUE(std::filesystem::is_empty(data.path() / "tmp"));
    // Nothing but acknowledged images (plus at most uploads committed but not yet answered).
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(data.path() / "images"))
        ++files;
    EXPECT_GE(files, acknowledged.size());
    EXPECT_LE(files, acknowledged.size() + kClients);
}

TEST(Binary, StartUpRaisesTheDescriptorLimitAndDerivesTheConnectionCap)
{
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    TempDir data;
    // A lower soft limit is raised to the hard one.
    ChildProcess soft({"--listen", "127.0.0.1:0", "--data-dir", data.path().string()}, "-S -n 200");
    auto m = soft.wait_for_output(std::regex("descriptor limit (\\d+), connection cap (\\d+)\n"));
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(std::stoull(m[1]), static_cast<unsigned long long>(limit.rlim_max));
    // A reserve of 32 and 4 for each of the 4 event loops; two descriptors a connection.
    EXPECT_EQ(std::stoull(m[2]), (static_cast<unsigned long long>(limit.rlim_max) - 32 - 4 * 4) / 2);
    soft.terminate_and_wait();

    TempDir data2;
    ChildProcess low({"--listen", "127.0.0.1:0", "--data-dir", data2.path().string(), "--header-timeout", "60"},
                     "-n 100");
    EXPECT_FALSE(low.wait_for_output(std::regex("descriptor limit 100, connection cap 26\n")).empty());
    auto port = started_port(low);
    // Beyond the cap a connection is answered 503 and closed; those within it are served.
    // Each is answered before the next opens: the event loops accept side by
    // side, so only connections the server has taken in count towards the cap.
    std::vector<std::unique_ptr<Connection>> open;
    for (int i = 0; i < 26; ++i) {
        open.push_back(std::make_unique<Connection>(port, 60s));
        open.back()->send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
        auto res = open.back()->read_response();
        ASSERT_TRUE(res && res->status == 200) << "connection " << i;
    }
    Connection beyond(port);
    auto refused = beyond.read_response();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_FALSE(refused->header("retry-after").empty());
    EXPECT_TRUE(beyond.closed_by_server());
    EXPECT_FALSE(low.wait_for_output(std::regex("26 connections open, the cap")).empty());
    open.pop_back();
    std::this_thread::sleep_for(200ms);  // the server notices the close
    EXPECT_EQ(fetch(port, "/").status, 200);
}

TEST(Binary, OutOfDescriptorsPausesAcceptingAnswers503AndRecovers)
{
    TempDir data;
    // The cap is given, above what 64 descriptors allow, so that idle
    // connections exhaust the descriptors; they may idle for a minute.
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--max-connections", "1000",
                        "--header-timeout", "60"},
                       "-n 64");
    auto port = started_port(child);
    ASSERT_FALSE(child.wait_for_output(std::regex("descriptor limit 64, connection cap 1000")).empty());
    UploadForm form;
    form.file_bytes = fake_image("png", 150000);

    // Kept-alive connections, accepted while descriptors were still there.
    // None closes before the descriptors run out: a close the server sees
    // late would free a descriptor in the middle of the test.
    auto kept_alive = [&](const std::string& request) {
        auto c = std::make_unique<Connection>(port, 30s);
        c->send(request);
        auto res = c->read_response();
        EXPECT_TRUE(res && res->status == 200);
        return std::make_pair(std::move(c), res ? *res : HttpResponse());
    };
    auto boundary = make_boundary();
    auto [for_upload, first_upload] = kept_alive(upload_request(boundary, multipart_body(boundary, form)));
    auto stored = target_of(first_upload.header("uploaded"));
    auto for_get = kept_alive("GET / HTTP/1.1\r\nHost: x\r\n\r\n").first;
    auto for_head = kept_alive("GET / HTTP/1.1\r\nHost: x\r\n\r\n").first;

    const std::regex exhausted("out of file descriptors \\(limit 64, \\d+ open, \\d+ connections\\)");
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 80; ++i)
        idle.push_back(std::make_unique<Connection>(port, 30s));
    ASSERT_EQ(child.wait_for_matches(exhausted, 1, 10s), 1u);

    // The image exists: never 404, but 503 with a time to come back.
    ASSERT_TRUE(for_get->send("GET " + stored + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto busy = for_get->read_response();
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(busy->header("retry-after"), "1");
    // The 503 closes that connection; the freed descriptor is taken by the
    // next waiting connection, which starts a new episode in the log.
    for_get.reset();
    ASSERT_EQ(child.wait_for_matches(exhausted, 2, 10s), 2u);

    // HEAD needs no descriptor for the image.
    ASSERT_TRUE(for_head->send("HEAD " + stored + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto head = for_head->read_response(true);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->header("content-length"), "150000");

    ASSERT_TRUE(for_upload->send(upload_request(boundary, multipart_body(boundary, form))));
    auto refused = for_upload->read_response();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(refused->header("retry-after"), "1");
    for_upload.reset();
    ASSERT_EQ(child.wait_for_matches(exhausted, 3, 10s), 3u);

    // Waiting with connections queued costs no CPU, and is logged once.
    auto cpu_before = child.cpu_seconds();
    std::this_thread::sleep_for(2s);
    EXPECT_LT(child.cpu_seconds() - cpu_before, 0.2);
    EXPECT_EQ(child.matches(exhausted), 3u);

    // Once the idle connections go, everything works again.
    idle.clear();
    for_head.reset();
    EXPECT_FALSE(child.wait_for_output(std::regex("file descriptors available again")).empty());
    auto deadline = std::chrono::steady_clock::now() + 60s;
    HttpResponse again;
    while (std::chrono::steady_clock::now() < deadline) {
        again = fetch(port, stored);
        if (again.status == 200)
            break;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(again.status, 200);
    EXPECT_TRUE(again.body == form.file_bytes);
    auto uploaded = upload(port, form);
    EXPECT_EQ(uploaded.status, 200);
    EXPECT_EQ(fetch(port, target_of(uploaded.header("uploaded"))).body.size(), form.file_bytes.size());
}

TEST(Binary, RequestsRefusedWhileReadingTheHeaderAreLogged)
{
    TempDir data;
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--header-timeout", "1"});
    auto port = started_port(child);
    {
        Connection c(port);
        c.send("GET /some/where?x=1 HTTP/1.1\r\nHost: x\r\nX-Filler: " + std::string(40000, 'a') + "\r\n\r\n");
        auto res = c.read_response();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 431);
    }
    EXPECT_FALSE(child.wait_for_output(std::regex("127\\.0\\.0\\.1 GET /some/where\\?x=1 431 ")).empty());
    {
        Connection c(port);
        c.send("POST /upload.php HTTP/1.1\r\nHost: x\r\n");  // and nothing more
        auto res = c.read_response();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 408);
        EXPECT_TRUE(c.closed_by_server());
    }
    EXPECT_FALSE(child.wait_for_output(std::regex("127\\.0\\.0\\.1 POST /upload\\.php 408 ")).empty());
    {
        Connection c(port);
        c.send("BREW /pot\tHTCPCP/1.0\r\n\r\n");
        auto res = c.read_response();
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400);
    }
    EXPECT_FALSE(child.wait_for_output(std::regex("127\\.0\\.0\\.1 BREW /pot\\?HTCPCP/1\\.0 400 ")).empty());
}

TEST(Binary, IdleKeepAliveIsNoRequestAndDurationsStartAtTheFirstByte)
{
    TempDir data;
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--header-timeout", "1"});
    auto port = started_port(child);
    {
        Connection c(port);
        std::this_thread::sleep_for(700ms);  // a browser's preconnect, idle for a while
        c.send("GET /?first HTTP/1.1\r\nHost: x\r\n\r\n");
        ASSERT_TRUE(c.read_response());
        EXPECT_TRUE(c.closed_by_server());  // after the idle timeout, quietly
    }
    EXPECT_FALSE(child.wait_for_output(std::regex("GET /\\?first 200 \\d+ [0-6]?\\d{1,2}ms")).empty());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(child.matches(std::regex(" 408 ")), 0u);
    EXPECT_EQ(child.matches(std::regex(" - - ")), 0u);
}

// Writes a self-signed certificate for 127.0.0.1 and its key.
void make_certificate(const std::filesystem::path& cert, const std::filesystem::path& key)
{
    int rc = -1;
    run_command("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1"
                " -addext subjectAltName=IP:127.0.0.1 -keyout " + key.string() + " -out " + cert.string() +
                    " 2>/dev/null",
                &rc);
    if (rc != 0)
        throw std::runtime_error("openssl could not make a certificate");
}

TEST(Binary, TlsUploadKeysDeletionAndReloadOnSighup)
{
    TempDir data;
    TempDir files;
    auto cert = files.path() / "cert.pem", key = files.path() / "key.pem", keys = files.path() / "keys";
    make_certificate(cert, key);
    std::ofstream(keys) << "# uploads\nright-key-123\n";
    auto image = files.path() / "shot.png";
    std::ofstream(image, std::ios::binary) << fake_image("png", 20000);
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string(), "--public-url",
                        "https://127.0.0.1", "--tls-cert", cert.string(), "--tls-key", key.string(), "--upload-keys",
                        keys.string()});
    auto port = started_port(child);
    std::string url = "https://127.0.0.1:" + std::to_string(port);
    auto curl = [&](const std::string& args, const std::filesystem::path& ca, int* rc) {
        return run_command("curl -s -S --cacert " + ca.string() + " " + args, rc);
    };
    auto upload_with_key = [&](const std::string& key_text, int* rc) {
        return curl("-D - -o /dev/null -F 'file=@" + image.string() + "' " +
                        (key_text.empty() ? "" : "-H 'Authorization: Bearer " + key_text + "' ") + url + "/upload.php",
                    cert, rc);
    };
    int rc = -1;
    EXPECT_NE(upload_with_key("", &rc).find(" 401"), std::string::npos);
    EXPECT_NE(upload_with_key("wrong-key", &rc).find("WWW-Authenticate: Bearer"), std::string::npos);
    for (const char* version : {"--tlsv1.2 --tls-max 1.2", "--tlsv1.3"}) {
        auto headers = curl(std::string(version) + " -D - -o /dev/null -H 'Authorization: Bearer right-key-123' -F "
                                "'file=@" + image.string() + "' " + url + "/upload.php",
                            cert, &rc);
        ASSERT_EQ(rc, 0) << version;
        std::smatch up, del;
        ASSERT_TRUE(std::regex_search(headers, up, std::regex("Uploaded: https://127\\.0\\.0\\.1(/\\w+\\.png)\r\n")))
            << headers;
        ASSERT_TRUE(std::regex_search(headers, del, std::regex("Deletion-Url: https://127\\.0\\.0\\.1(/delete/\\w+)\r\n")));
        auto fetched = url + up[1].str();
        EXPECT_NE(curl("-f " + url + del[1].str(), cert, &rc).find("<form method=\"post\">"), std::string::npos);
        EXPECT_EQ(curl("-o /dev/null -w '%{http_code}' " + fetched, cert, &rc), "200");
        EXPECT_EQ(curl("-X POST " + url + del[1].str(), cert, &rc), "image deleted\n");
        EXPECT_EQ(curl("-o /dev/null -w '%{http_code}' " + fetched, cert, &rc), "404");
        EXPECT_EQ(curl("-o /dev/null -w '%{http_code}' -X POST " + url + del[1].str(), cert, &rc), "404");
    }
    // Plain http on the TLS port gets nothing.
    run_command("curl -s -m 10 -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/", &rc);
    EXPECT_NE(rc, 0);

    // A renewed certificate and new keys, without a restart.
    auto new_cert = files.path() / "cert2.pem", new_key = files.path() / "key2.pem";
    make_certificate(new_cert, new_key);
    std::filesystem::copy_file(cert, files.path() / "cert.pem.old");
    std::filesystem::copy_file(new_cert, cert, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(new_key, key, std::filesystem::copy_options::overwrite_existing);
    std::ofstream(keys) << "new-key-456\n";
    child.signal(SIGHUP);
    ASSERT_FALSE(child.wait_for_output(std::regex("reloaded on SIGHUP \\(1 upload keys, TLS")).empty());
    EXPECT_NE(upload_with_key("right-key-123", &rc).find(" 401"), std::string::npos);
    EXPECT_EQ(curl("-o /dev/null -w '%{http_code}' -H 'Authorization: Bearer new-key-456' -F 'file=@" +
                       image.string() + "' " + url + "/upload.php",
                   new_cert, &rc),
              "200");
    run_command("curl -s --cacert " + files.path().string() + "/cert.pem.old -o /dev/null " + url + "/", &rc);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(child.matches(std::regex("right-key|new-key|wrong-key")), 0u) << "keys never logged";
    EXPECT_EQ(child.terminate_and_wait(), 0);
}

TEST(Binary, RemoveTakesAnImageDownWhileTheServerRuns)
{
    TempDir data;
    ChildProcess child({"--listen", "127.0.0.1:0", "--data-dir", data.path().string()});
    auto port = started_port(child);
    UploadForm form;
    form.file_bytes = fake_image("png", 4000);
    auto first = target_of(upload(port, form).header("uploaded"));
    auto second = target_of(upload(port, form).header("uploaded"));
    EXPECT_EQ(fetch(port, first).status, 200);  // now kept in memory
    EXPECT_EQ(fetch(port, second).status, 200);
    int rc = -1;
    auto id = first.substr(1, 32);
    auto out = run_command(binary_path() + " remove --data-dir " + data.path().string() + " " + id + " 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(fetch(port, first).status, 404);
    EXPECT_EQ(fetch(port, first, true).status, 404);
    EXPECT_EQ(fetch(port, second).status, 200);
    run_command(binary_path() + " remove --data-dir " + data.path().string() + " " + id + " 2>&1", &rc);
    EXPECT_EQ(rc, 1) << "no such image any more";
}

TEST(Binary, BadFlagsExitWithUsage)
{
    ChildProcess child({"--listen", "nowhere"});
    EXPECT_EQ(child.wait(), 2);
    ChildProcess unknown({"--frobnicate", "1"});
    EXPECT_EQ(unknown.wait(), 2);
}

TEST(Binary, PortInUseIsAnError)
{
    TestServer occupant;
    TempDir data;
    ChildProcess child({"--listen", "127.0.0.1:" + std::to_string(occupant.port()), "--data-dir", data.path().string()});
    EXPECT_EQ(child.wait(), 1);
}

}  // namespace
}  // namespace imagehost::testing
