#pragma once

#include "client_limits.h"
#include "config.h"
#include "image_service.h"
#include "request_log.h"
#include "upload_keys.h"

#include <boost/asio/ip/tcp.hpp>

#include <atomic>

namespace imagehost {

// What every connection shares.
struct ServiceContext {
    const Config& config;
    ImageService& service;
    RequestLog& log;
    UploadKeys& keys;
    UploadLimiter& upload_limiter;
    std::atomic<unsigned> connections{0};
    std::atomic<bool> disk_low{false};  // logged once when it begins, once when it ends
};

// Serves one accepted connection until it closes. `peer` is the address
// accept() reported (for the limits and the log); `slot` holds its place in
// the per-address count. The listening socket passes TCP_NODELAY on.
void start_http_session(boost::asio::ip::tcp::socket socket, const boost::asio::ip::tcp::endpoint& peer,
                        ConnectionSlot slot, ServiceContext& context);

// Answers a connection that cannot be served with 503 and `reason`, as far as
// the socket takes it at once, and closes it; costs no further descriptor.
void refuse_connection(boost::asio::ip::tcp::socket& socket, const std::string& reason);

// The current time as an HTTP Date value ("Thu, 10 Dec 2026 12:00:00 GMT").
std::string http_date();

}  // namespace imagehost
