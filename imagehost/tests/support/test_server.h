#pragma once

#include "clock.h"
#include "config.h"
#include "server.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace imagehost::testing {

// Time that only moves when a test says so.
class FakeClock final : public Clock {
public:
    std::int64_t now() const override { return now_.load(); }
    void advance(std::int64_t seconds) { now_ += seconds; }

private:
    std::atomic<std::int64_t> now_{1'800'000'000};
};

// A fresh directory under the system temp dir, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The service running in-process on an ephemeral loopback port, with a fake
// clock and its own data directory.
class TestServer {
public:
    explicit TestServer(const std::function<void(Config&)>& adjust = {});
    ~TestServer();

    unsigned short port() const { return server_->port(); }
    Server& server() { return *server_; }
    FakeClock& clock() { return clock_; }
    const Config& config() const { return config_; }
    const std::filesystem::path& data_dir() const { return dir_.path(); }

    // Stops and starts again on the same data directory (a new port).
    void restart();
    void stop();
    std::size_t count_files(const std::string& subdir) const;

private:
    TempDir dir_;
    FakeClock clock_;
    Config config_;
    std::unique_ptr<Server> server_;
};

// Bytes that sniff as the named format, padded with random data to `size`.
std::string fake_image(const std::string& extension, std::size_t size);

}  // namespace imagehost::testing

namespace imagehost::testing {

// Runs a shell command, returning its standard output; *exit_code gets its status.
std::string run_command(const std::string& command, int* exit_code = nullptr);

}  // namespace imagehost::testing
