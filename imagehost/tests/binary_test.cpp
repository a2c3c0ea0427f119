// Black-box tests of the real executable: flags, log output and signals.

#include "http_client.h"
#include "test_server.h"
#include "unique_fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
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

// The executable as a child process with its standard output on a pipe;
// terminated and reaped on destruction.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> args)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        out_ = UniqueFd(fds[0]);
        UniqueFd write_end(fds[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, write_end.get(), 1);
        args.insert(args.begin(), binary_path());
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
        while (!std::regex_search(output_, m, pattern) && std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_.get(), POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char buf[4096];
                ssize_t n = ::read(out_.get(), buf, sizeof buf);
                if (n <= 0)
                    break;
                output_.append(buf, static_cast<std::size_t>(n));
            }
        }
        return m;
    }

    int terminate_and_wait()
    {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

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

TEST(Binary, KilledMidUploadKeepsEveryAcknowledgedImage)
{
    TempDir data;
    std::vector<std::string> args{"--listen", "127.0.0.1:0", "--data-dir", data.path().string()};
    std::map<std::string, std::string> acknowledged;  // target -> bytes
    {
        ChildProcess child(args);
        auto port = started_port(child);
        std::mutex mutex;
        std::atomic<bool> stop{false};
        std::vector<std::thread> clients;
        for (int c = 0; c < 4; ++c)
            clients.emplace_back([&] {
                for (int i = 0; i < 200 && !stop; ++i) {
                    UploadForm form;
                    form.file_bytes = fake_image("png", 100000);
                    try {
                        auto res = upload(port, form);
                        if (res.status == 200) {
                            std::lock_guard lock(mutex);
                            acknowledged[target_of(res.header("uploaded"))] = form.file_bytes;
                        }
                    } catch (const std::exception&) {
                        return;  // the server is gone
                    }
                }
            });
        std::this_thread::sleep_for(700ms);
        child.kill_hard();  // no clean shutdown: uploads are cut at arbitrary points
        stop = true;
        for (auto& t : clients)
            t.join();
    }
    ASSERT_FALSE(acknowledged.empty());

    ChildProcess restarted(args);
    auto port = started_port(restarted);
    for (const auto& [target, bytes] : acknowledged)
        EXPECT_EQ(fetch(port, target).body, bytes) << target;
    EXPECT_TRUE(std::filesystem::is_empty(data.path() / "tmp"));
    // Nothing but acknowledged images (plus at most uploads committed but not yet answered).
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(data.path() / "images"))
        ++files;
    EXPECT_GE(files, acknowledged.size());
    EXPECT_LE(files, acknowledged.size() + 4);
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
