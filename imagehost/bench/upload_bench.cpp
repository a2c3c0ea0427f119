// Load generator for the image host benchmark (bench/compare_with_php.sh):
// one new connection per request, like a browser or the OrvoCapture client,
// for a fixed time at a given number of concurrent clients.
//
//   upload_bench upload PORT CLIENTS SECONDS   POST /upload.php, 200 KB PNG
//   upload_bench get PORT CLIENTS SECONDS PATH GET PATH
//   upload_bench store PORT                    one upload; prints the address
//
// After the arguments, `--tls` speaks TLS (a full handshake per connection,
// the certificate not checked), and `--sources` sends each client thread from
// an address of its own (127.0.0.2, 127.0.0.3, ...), as separate clients would.
//
// Prints "<requests per second> <failures> <median ms> <p95 ms>".

#include "http_client.h"
#include "test_server.h"

#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace imagehost::testing;
using Steady = std::chrono::steady_clock;

namespace {

constexpr std::size_t kImageBytes = 200 * 1024;

// A lean client: the load generator shares the two cores with the servers it
// measures, so it must cost little per request itself. Each thread builds its
// upload request once and reads responses into one fixed buffer, keeping only
// the header; no allocation or copy per request grows with the image.
class LeanClient {
public:
    LeanClient(unsigned short port, SSL_CTX* tls, std::string source)
        : port_(port), tls_(tls), source_(std::move(source)), buffer_(64 * 1024)
    {
    }

    // Sends `request` on a new connection and reads one response whole.
    // Returns the status, or 0 on failure; `body_bytes` gets the body's length.
    int exchange(std::string_view request, std::size_t& body_bytes, std::string* header_out = nullptr)
    {
        imagehost::UniqueFd fd =
            connect_loopback(port_, std::chrono::seconds(10), source_.empty() ? nullptr : source_.c_str());
        if (!fd)
            return 0;
        std::unique_ptr<SSL, decltype(&SSL_free)> ssl(nullptr, SSL_free);
        if (tls_) {
            ssl.reset(SSL_new(tls_));
            SSL_set_fd(ssl.get(), fd.get());
            if (SSL_connect(ssl.get()) != 1)
                return 0;
        }
        auto send = [&](const char* data, std::size_t size) -> ssize_t {
            if (ssl)
                return SSL_write(ssl.get(), data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
            return ::send(fd.get(), data, size, MSG_NOSIGNAL);
        };
        auto recv = [&](char* data, std::size_t size) -> ssize_t {
            if (ssl)
                return SSL_read(ssl.get(), data, static_cast<int>(size));
            return ::recv(fd.get(), data, size, 0);
        };
        while (!request.empty()) {
            ssize_t n = send(request.data(), request.size());
            if (n <= 0)
                return 0;
            request.remove_prefix(static_cast<std::size_t>(n));
        }
        std::size_t have = 0;
        std::size_t header_end = std::string_view::npos;
        while (header_end == std::string_view::npos) {
            if (have == buffer_.size())
                return 0;
            ssize_t n = recv(buffer_.data() + have, buffer_.size() - have);
            if (n <= 0)
                return 0;
            have += static_cast<std::size_t>(n);
            header_end = std::string_view(buffer_.data(), have).find("\r\n\r\n");
        }
        std::string_view header(buffer_.data(), header_end + 4);
        int status = 0;
        if (std::sscanf(buffer_.data(), "HTTP/1.%*d %d", &status) != 1)
            return 0;
        std::size_t length = 0;
        for (std::string_view name : {"Content-Length:", "content-length:"}) {
            auto at = header.find(name);
            if (at != std::string_view::npos)
                length = std::strtoull(header.data() + at + name.size(), nullptr, 10);
        }
        if (header_out)
            header_out->assign(header);
        std::size_t got = have - header.size();
        while (got < length) {
            ssize_t n = recv(buffer_.data(), buffer_.size());
            if (n <= 0)
                return 0;
            got += static_cast<std::size_t>(n);
        }
        body_bytes = got;
        return status;
    }

private:
    unsigned short port_;
    SSL_CTX* tls_;
    std::string source_;
    std::vector<char> buffer_;
};

int run(const std::string& mode, unsigned short port, int clients, double seconds, const std::string& path, bool tls,
        bool sources)
{
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> tls_context(tls ? SSL_CTX_new(TLS_client_method()) : nullptr,
                                                                   SSL_CTX_free);
    auto image = fake_image("png", kImageBytes);
    std::vector<double> latencies_ms;
    std::mutex mutex;
    std::atomic<int> failures{0};
    auto started = Steady::now();
    auto deadline = started + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            std::string request;
            if (mode == "upload") {
                UploadForm form;
                form.file_bytes = image;
                auto boundary = make_boundary();
                request = upload_request(boundary, multipart_body(boundary, form));
            } else {
                request = "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
            }
            LeanClient client(port, tls_context.get(), sources ? "127.0.0." + std::to_string(c + 2) : "");
            std::string header;
            std::vector<double> mine;
            mine.reserve(100000);
            while (Steady::now() < deadline) {
                auto t0 = Steady::now();
                std::size_t body_bytes = 0;
                int status = client.exchange(request, body_bytes, mode == "upload" ? &header : nullptr);
                bool ok = status == 200 && (mode == "upload" ? header.find("Uploaded: ") != std::string::npos
                                                             : body_bytes == kImageBytes);
                if (!ok)
                    ++failures;
                mine.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
            }
            std::lock_guard lock(mutex);
            latencies_ms.insert(latencies_ms.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads)
        t.join();
    double elapsed = std::chrono::duration<double>(Steady::now() - started).count();
    if (latencies_ms.empty())
        return 1;
    std::sort(latencies_ms.begin(), latencies_ms.end());
    auto at = [&](double q) { return latencies_ms[static_cast<std::size_t>(q * (latencies_ms.size() - 1))]; };
    auto succeeded = static_cast<double>(latencies_ms.size()) - failures.load();
    std::printf("%.1f %d %.2f %.2f\n", succeeded / elapsed, failures.load(), at(0.5), at(0.95));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool tls = false, sources = false;
    while (!args.empty() && (args.back() == "--tls" || args.back() == "--sources")) {
        (args.back() == "--tls" ? tls : sources) = true;
        args.pop_back();
    }
    try {
        if (args.size() == 2 && args[0] == "store") {
            UploadForm form;
            form.file_bytes = fake_image("png", kImageBytes);
            auto res = upload(static_cast<unsigned short>(std::stoi(args[1])), form);
            if (res.status != 200)
                return 1;
            std::printf("%s\n", res.header("uploaded").c_str());
            return 0;
        }
        if ((args.size() == 4 && args[0] == "upload") || (args.size() == 5 && args[0] == "get"))
            return run(args[0], static_cast<unsigned short>(std::stoi(args[1])), std::stoi(args[2]),
                       std::stod(args[3]), args.size() == 5 ? args[4] : "", tls, sources);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "upload_bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: upload_bench upload PORT CLIENTS SECONDS | get PORT CLIENTS SECONDS PATH | store PORT\n");
    return 2;
}
