#include "test_server.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>

namespace imagehost::testing {
namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("imagehost-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

namespace {

// With IMAGEHOST_TEST_ENGINES=shared (under scripts/imagehost-engines.sh) the
// same tests run on PostgreSQL and the S3 store, each server with a database
// and a key prefix of its own.
void use_shared_engines_if_asked(Config& config)
{
    const char* kind = std::getenv("IMAGEHOST_TEST_ENGINES");
    if (!kind || std::string(kind) != "shared")
        return;
    auto env = [](const char* name) {
        const char* value = std::getenv(name);
        if (!value)
            throw std::runtime_error(std::string(name) + " is not set: run under scripts/imagehost-engines.sh");
        return std::string(value);
    };
    std::random_device rd;
    std::string name = "t" + std::to_string(rd()) + std::to_string(rd());
    std::string url = env("IMAGEHOST_PG_URL");
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(url.c_str()), PQfinish);
    std::unique_ptr<PGresult, void (*)(PGresult*)> r(PQexec(conn.get(), ("CREATE DATABASE " + name).c_str()), PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("cannot create a test database: ") + PQerrorMessage(conn.get()));
    config.engines.database = url.substr(0, url.rfind('/') + 1) + name;
    config.engines.storage = "s3://" + env("IMAGEHOST_S3_BUCKET") + "/" + name + "/";
    config.engines.s3_endpoint = env("IMAGEHOST_S3_ENDPOINT");
}

}  // namespace

TestServer::TestServer(const std::function<void(Config&)>& adjust)
{
    use_shared_engines_if_asked(config_);
    config_.listen_host = "127.0.0.1";
    config_.listen_port = 0;
    config_.data_dir = dir_.path();
    config_.public_url = "http://img.test";
    config_.threads = 2;
    config_.reap_interval_seconds = 3600;  // tests reap explicitly
    // Suites upload far faster than any one client should; the limits' own tests turn them on.
    config_.upload_rate_per_minute = 0;
    config_.upload_bytes_per_hour = 0;
    if (adjust)
        adjust(config_);
    restart();
}

TestServer::~TestServer() { stop(); }

void TestServer::stop() { server_.reset(); }

void TestServer::restart()
{
    server_.reset();
    server_ = std::make_unique<Server>(config_, clock_);
    server_->start();
}

std::size_t TestServer::count_files(const std::string& subdir) const
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path() / subdir))
        ++n;
    return n;
}

std::string fake_image(const std::string& extension, std::size_t size)
{
    using namespace std::string_literals;
    std::string head;
    if (extension == "png")
        head = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s;
    else if (extension == "jpg")
        head = "\xff\xd8\xff\xe0\0\x10JFIF\0"s;
    else if (extension == "gif")
        head = "GIF89a\x10\0\x10\0"s;
    else if (extension == "bmp")
        head = "BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0"s;
    else if (extension == "webp")
        head = "RIFF\x40\0\0\0WEBPVP8 "s;
    else
        throw std::invalid_argument("unknown test image type " + extension);
    static thread_local std::mt19937 rng{std::random_device{}()};
    std::string bytes = head;
    while (bytes.size() < size)
        bytes.push_back(static_cast<char>(rng()));
    // Boundary-like text and CR/LF inside the content must survive untouched.
    const std::string near_delimiter = "\r\n-----------------------------X\r\n";
    if (size > 200)
        bytes.replace(100, near_delimiter.size(), near_delimiter);
    return bytes;
}

}  // namespace imagehost::testing

#include <cstdio>
#include <memory>
#include <sys/wait.h>

namespace imagehost::testing {

std::string run_command(const std::string& command, int* exit_code)
{
    struct Closer {
        int* status;
        void operator()(FILE* f) const
        {
            int rc = pclose(f);
            if (status)
                *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        }
    };
    std::string out;
    {
        std::unique_ptr<FILE, Closer> pipe(popen(command.c_str(), "r"), Closer{exit_code});
        if (!pipe)
            throw std::runtime_error("popen failed");
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0)
            out.append(buf, n);
    }
    return out;
}

}  // namespace imagehost::testing
