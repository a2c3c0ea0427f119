#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cctype>
#include <cstdio>
#include <random>
#include <stdexcept>

namespace imagehost::testing {

std::string HttpResponse::header(const std::string& lower_name) const
{
    auto it = headers.find(lower_name);
    return it == headers.end() ? std::string() : it->second;
}

UniqueFd connect_loopback(unsigned short port, std::chrono::milliseconds timeout, const char* source)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return fd;
    timeval tv{};
    tv.tv_sec = timeout.count() / 1000;
    tv.tv_usec = (timeout.count() % 1000) * 1000;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (source) {  // 127.0.0.2, 127.0.0.3...: other clients, as the server sees them
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &from.sin_addr);
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0)
            return UniqueFd();
    }
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return UniqueFd();
    return fd;
}

Connection::Connection(unsigned short port, std::chrono::milliseconds timeout, const char* source)
    : fd_(connect_loopback(port, timeout, source))
{
    if (!fd_)
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
}

bool Connection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Connection::fill()
{
    char buf[16384];
    ssize_t n = ::recv(fd_.get(), buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    pending_.append(buf, static_cast<std::size_t>(n));
    return true;
}

bool Connection::closed_by_server()
{
    char c;
    ssize_t n = ::recv(fd_.get(), &c, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::optional<HttpResponse> Connection::read_response(bool head)
{
    std::size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
        if (!fill())
            return std::nullopt;
    HttpResponse res;
    std::string head_block = pending_.substr(0, end);
    pending_.erase(0, end + 4);
    if (std::sscanf(head_block.c_str(), "HTTP/1.%*d %d", &res.status) != 1)
        return std::nullopt;
    std::size_t pos = head_block.find("\r\n");
    while (pos != std::string::npos) {
        std::size_t next = head_block.find("\r\n", pos + 2);
        std::string line = head_block.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
        auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (auto& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            res.headers[name] = value;
        }
        pos = next;
    }
    if (res.status == 100)  // interim answer: the real one follows
        return read_response(head);
    std::size_t length = head ? 0 : std::stoul(res.header("content-length").empty() ? "0" : res.header("content-length"));
    while (pending_.size() < length)
        if (!fill())
            return std::nullopt;
    res.body = pending_.substr(0, length);
    pending_.erase(0, length);
    return res;
}

std::string make_boundary()
{
    static thread_local std::mt19937 rng{std::random_device{}()};
    char digits[13];
    std::snprintf(digits, sizeof digits, "%04X%04X%04X", unsigned(rng() % 32768), unsigned(rng() % 32768),
                  unsigned(rng() % 32768));
    return std::string(27, '-') + digits;
}

std::string multipart_body(const std::string& boundary, const UploadForm& form)
{
    std::string body;
    if (form.self_destruct)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"selfdestruct_timeout\"\r\n\r\n" +
                *form.self_destruct + "\r\n";
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + form.path +
            "\"\r\nContent-Type: " + form.content_type + "\r\n\r\n";
    body += form.file_bytes;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

std::string upload_request(const std::string& boundary, const std::string& body)
{
    return "POST /upload.php HTTP/1.1\r\n"
           "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n"
           "User-Agent: OrvoCapture/1.8\r\n"
           "Host: localhost\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n"
           "\r\n" + body;
}

HttpResponse upload(unsigned short port, const UploadForm& form)
{
    Connection c(port);
    auto boundary = make_boundary();
    if (!c.send(upload_request(boundary, multipart_body(boundary, form))))
        throw std::runtime_error("upload: send failed");
    auto res = c.read_response();
    if (!res)
        throw std::runtime_error("upload: no response");
    return *res;
}

HttpResponse fetch(unsigned short port, const std::string& target, bool head)
{
    Connection c(port);
    if (!c.send((head ? "HEAD " : "GET ") + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n"))
        throw std::runtime_error("fetch: send failed");
    auto res = c.read_response(head);
    if (!res)
        throw std::runtime_error("fetch: no response");
    return *res;
}

std::string target_of(const std::string& address)
{
    auto scheme = address.find("://");
    auto slash = address.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return slash == std::string::npos ? "/" : address.substr(slash);
}

}  // namespace imagehost::testing
