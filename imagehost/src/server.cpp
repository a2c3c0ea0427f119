#include "server.h"

#include "descriptor_limit.h"
#include "http_session.h"
#include "image_service.h"
#include "request_log.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

namespace imagehost {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
// Out of descriptors, the pending connection stays in the listen queue and
// the listener stays readable: accepting again at once would spin a core.
constexpr auto kAcceptPause = std::chrono::milliseconds(200);
}  // namespace

struct Server::Impl {
    Impl(Config config_in, const Clock& clock)
        : config(std::move(config_in)),
          service(config.data_dir, config.public_url, clock),
          context{config, service, log},
          acceptor(io)
    {
        if (config.max_connections == 0)
            config.max_connections = connection_cap_for(descriptor_limit());
        tcp::endpoint endpoint(net::ip::make_address(config.listen_host), config.listen_port);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(net::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(net::socket_base::max_listen_connections);
    }

    void accept()
    {
        acceptor.async_accept(net::make_strand(io), [this](boost::system::error_code ec, tcp::socket socket) {
            if (ec == net::error::operation_aborted)
                return;
            if (ec && is_descriptor_exhaustion(ec.value())) {
                if (!out_of_descriptors) {
                    out_of_descriptors = true;
                    auto limit = descriptor_limit();
                    std::fprintf(stderr,
                                 "imagehost: out of file descriptors (limit %llu, %llu open, %u connections); "
                                 "accepting paused until some close\n",
                                 static_cast<unsigned long long>(limit),
                                 static_cast<unsigned long long>(open_descriptor_count(limit)),
                                 context.connections.load());
                }
                accept_pause.expires_after(kAcceptPause);
                accept_pause.async_wait([this](boost::system::error_code wait_ec) {
                    if (!wait_ec)
                        accept();
                });
                return;
            }
            if (!ec) {
                if (out_of_descriptors) {
                    out_of_descriptors = false;
                    std::fprintf(stderr, "imagehost: file descriptors available again, accepting\n");
                }
                if (context.connections.load() >= config.max_connections) {
                    if (!at_connection_cap) {
                        at_connection_cap = true;
                        std::fprintf(stderr,
                                     "imagehost: %u connections open, the cap; new connections are closed at once "
                                     "until some end\n",
                                     config.max_connections);
                    }
                    boost::system::error_code ignored;
                    socket.close(ignored);
                } else {
                    at_connection_cap = false;
                    start_http_session(std::move(socket), context);
                }
            }
            accept();
        });
    }

    void schedule_reap()
    {
        reap_timer.expires_after(std::chrono::seconds(config.reap_interval_seconds));
        reap_timer.async_wait([this](boost::system::error_code ec) {
            if (ec)
                return;
            reap_now();
            schedule_reap();
        });
    }

    void reap_now()
    {
        try {
            service.reap();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: reaping failed, will retry: %s\n", e.what());
        }
    }

    Config config;
    ImageService service;
    RequestLog log;
    ServiceContext context;
    // Declared after everything sessions refer to, so it is destroyed first.
    net::io_context io;
    tcp::acceptor acceptor;
    net::steady_timer reap_timer{io};
    net::steady_timer accept_pause{io};
    // Touched only by the accept chain, which has one step pending at a time.
    bool out_of_descriptors = false;
    bool at_connection_cap = false;
    std::vector<std::thread> threads;
};

Server::Server(Config config, const Clock& clock) : impl_(std::make_unique<Impl>(std::move(config), clock))
{
    impl_->service.recover();
    impl_->reap_now();
}

Server::~Server()
{
    stop();
}

unsigned short Server::port() const { return impl_->acceptor.local_endpoint().port(); }

unsigned Server::connection_cap() const { return impl_->config.max_connections; }

void Server::start()
{
    impl_->accept();
    impl_->schedule_reap();
    for (unsigned i = 0; i < impl_->config.threads; ++i)
        impl_->threads.emplace_back([this] { impl_->io.run(); });
}

void Server::stop()
{
    impl_->io.stop();
    for (auto& t : impl_->threads)
        t.join();
    impl_->threads.clear();
    // Uploads already handed over are still made durable; their answers are not sent.
    impl_->service.stop_committing();
}

ImageService& Server::service() { return impl_->service; }

}  // namespace imagehost
