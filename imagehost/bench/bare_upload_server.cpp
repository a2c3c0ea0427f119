// The least a server can do to store an upload: the benchmark's floor, run
// beside the image host and nginx + php-fpm so that their figures can be read
// against what this machine allows at all.
//
//   bare_upload_server PORT DIR
//
// A fixed set of threads, each blocking in accept() on one listening socket,
// reads a request, writes its whole body (multipart framing and all: nothing
// is parsed or checked) to a new file in DIR, fsyncs the file, and answers 200
// with an `Uploaded:` header. GET answers 404.
// Not a server to run anywhere else: no limits, no timeouts, no validation.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// More threads than the benchmark's clients, so no connection waits for one.
constexpr int kThreads = 16;

bool send_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t content_length(std::string_view header)
{
    for (std::string_view name : {"Content-Length:", "content-length:"}) {
        auto at = header.find(name);
        if (at != std::string_view::npos)
            return std::strtoull(header.data() + at + name.size(), nullptr, 10);
    }
    return 0;
}

// Returns the answer to send, after storing the body if there is one.
std::string_view serve(int conn, std::vector<char>& buffer, const std::string& dir,
                       std::atomic<unsigned long>& next_name, std::string& answer)
{
    static constexpr std::string_view kNotFound =
        "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    static constexpr std::string_view kFailed =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    std::size_t have = 0;
    std::size_t header_end = std::string_view::npos;
    while (header_end == std::string_view::npos) {
        if (have == buffer.size())
            return kFailed;
        ssize_t n = ::recv(conn, buffer.data() + have, buffer.size() - have, 0);
        if (n <= 0)
            return {};
        have += static_cast<std::size_t>(n);
        header_end = std::string_view(buffer.data(), have).find("\r\n\r\n");
    }
    std::string_view header(buffer.data(), header_end + 4);
    if (header.substr(0, 5) != "POST ")
        return kNotFound;
    std::size_t remaining = content_length(header);
    std::string name = std::to_string(next_name++);
    std::string path = dir + "/" + name;
    int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0)
        return kFailed;
    std::size_t in_buffer = std::min(remaining, have - header.size());
    bool ok = write_all(file, buffer.data() + header.size(), in_buffer);
    remaining -= in_buffer;
    while (ok && remaining > 0) {
        ssize_t n = ::recv(conn, buffer.data(), std::min(buffer.size(), remaining), 0);
        ok = n > 0 && write_all(file, buffer.data(), static_cast<std::size_t>(n));
        remaining -= ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(file) == 0;
    ok = ::close(file) == 0 && ok;
    if (!ok)
        return kFailed;
    std::string address = "http://localhost/" + name;
    answer = "HTTP/1.1 200 OK\r\nUploaded: " + address + "\r\nContent-Length: " +
             std::to_string(address.size() + 1) + "\r\nConnection: close\r\n\r\n" + address + "\n";
    return answer;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare_upload_server PORT DIR\n");
        return 2;
    }
    std::string dir = argv[2];
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(listener, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1024) != 0) {
        std::perror("bare_upload_server");
        return 1;
    }
    std::atomic<unsigned long> next_name{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            std::vector<char> buffer(128 * 1024);
            std::string answer;
            while (true) {
                int conn = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (conn < 0) {
                    ::usleep(1000);
                    continue;
                }
                send_all(conn, serve(conn, buffer, dir, next_name, answer));
                ::close(conn);
            }
        });
    for (auto& t : threads)
        t.join();
}
