#pragma once

#include "config.h"
#include "image_service.h"
#include "request_log.h"

#include <boost/asio/ip/tcp.hpp>

#include <atomic>

namespace imagehost {

// What every connection shares.
struct ServiceContext {
    const Config& config;
    ImageService& service;
    RequestLog& log;
    std::atomic<unsigned> connections{0};
};

// Serves one accepted connection until it closes. `peer` is the address
// accept() reported (for the log). The listening socket passes TCP_NODELAY on.
void start_http_session(boost::asio::ip::tcp::socket socket, const boost::asio::ip::tcp::endpoint& peer,
                        ServiceContext& context);

}  // namespace imagehost
