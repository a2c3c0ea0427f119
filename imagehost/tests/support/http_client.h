#pragma once

// A small blocking HTTP/1.1 client over loopback, for tests and the benchmark.
// Upload requests are built byte for byte the way the OrvoCapture client
// builds them.

#include "unique_fd.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace imagehost::testing {

struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string header(const std::string& lower_name) const;
};

// A TCP connection to 127.0.0.1:port without Nagle's delay, every read and
// write limited to `timeout`, from the loopback address `source` if given;
// an invalid descriptor if it cannot be made.
UniqueFd connect_loopback(unsigned short port, std::chrono::milliseconds timeout, const char* source = nullptr);

// One TCP connection to 127.0.0.1:port; every read and write has a timeout.
class Connection {
public:
    explicit Connection(unsigned short port, std::chrono::milliseconds timeout = std::chrono::seconds(10),
                        const char* source = nullptr);

    bool send(std::string_view bytes);
    // Reads one response; HEAD responses carry no body. nullopt if the
    // connection closed or timed out first.
    std::optional<HttpResponse> read_response(bool head = false);
    // True if the server closed the connection (read returned 0 or reset).
    bool closed_by_server();

private:
    bool fill();
    UniqueFd fd_;
    std::string pending_;
};

struct UploadForm {
    std::string file_bytes;
    std::string path = "C:\\SHOTS\\A.PNG";
    std::string content_type = "application/octet-stream";
    std::optional<std::string> self_destruct;
};

// 27 hyphens and 12 upper-case hex digits.
std::string make_boundary();
std::string multipart_body(const std::string& boundary, const UploadForm& form);
std::string upload_request(const std::string& boundary, const std::string& body);

HttpResponse upload(unsigned short port, const UploadForm& form);
HttpResponse fetch(unsigned short port, const std::string& target, bool head = false);

// The path of an address handed out by the server ("http://host/x.png" -> "/x.png").
std::string target_of(const std::string& address);

}  // namespace imagehost::testing
