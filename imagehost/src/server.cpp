#include "server.h"

#include "descriptor_limit.h"
#include "http_session.h"
#include "image_service.h"
#include "request_log.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/executor_work_guard.hpp>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <system_error>
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

// One listening descriptor, watched by every event loop: a connection is
// served by the thread that accepted it, without a hand-over.
struct Listener {
    explicit Listener(net::io_context& loop) : acceptor(loop), pause(loop) {}
    tcp::acceptor acceptor;
    net::steady_timer pause;
    tcp::endpoint peer;  // of the connection being accepted
};

struct Server::Impl {
    Impl(Config config_in, const Clock& clock)
        : config(std::move(config_in)),
          service(config, clock),
          context{config, service, log},
          loops(make_loops(config.threads))
    {
        if (config.max_connections == 0)
            config.max_connections = connection_cap_for(descriptor_limit());
        tcp::endpoint endpoint(net::ip::make_address(config.listen_host), config.listen_port);
        for (auto& loop : loops)
            listeners.push_back(std::make_unique<Listener>(*loop));
        auto& first = listeners.front()->acceptor;
        first.open(endpoint.protocol());
        first.set_option(net::socket_base::reuse_address(true));
        first.bind(endpoint);
        // Inherited by every accepted connection (one system call less for
        // each): responses go out whole, without waiting for delayed ACKs.
        first.set_option(tcp::no_delay(true));
        first.listen(net::socket_base::max_listen_connections);
        for (std::size_t i = 1; i < listeners.size(); ++i) {
            int fd = ::dup(first.native_handle());
            if (fd < 0)
                throw std::system_error(errno, std::generic_category(), "dup listening socket");
            listeners[i]->acceptor.assign(endpoint.protocol(), fd);
        }
    }

    static std::vector<std::unique_ptr<net::io_context>> make_loops(unsigned count)
    {
        std::vector<std::unique_ptr<net::io_context>> loops;
        for (unsigned i = 0; i < count; ++i)
            loops.push_back(std::make_unique<net::io_context>(1));
        return loops;
    }

    void accept(Listener& listener)
    {
        auto on_accept = [this, &listener](boost::system::error_code ec, tcp::socket socket) {
            if (ec == net::error::operation_aborted)
                return;
            if (ec && is_descriptor_exhaustion(ec.value())) {
                if (!out_of_descriptors.exchange(true)) {
                    auto limit = descriptor_limit();
                    std::fprintf(stderr,
                                 "imagehost: out of file descriptors (limit %llu, %llu open, %u connections); "
                                 "accepting paused until some close\n",
                                 static_cast<unsigned long long>(limit),
                                 static_cast<unsigned long long>(open_descriptor_count(limit)),
                                 context.connections.load());
                }
                listener.pause.expires_after(kAcceptPause);
                listener.pause.async_wait([this, &listener](boost::system::error_code wait_ec) {
                    if (!wait_ec)
                        accept(listener);
                });
                return;
            }
            if (!ec) {
                if (out_of_descriptors.exchange(false))
                    std::fprintf(stderr, "imagehost: file descriptors available again, accepting\n");
                if (context.connections.load() >= config.max_connections) {
                    if (!at_connection_cap.exchange(true))
                        std::fprintf(stderr,
                                     "imagehost: %u connections open, the cap; new connections are closed at once "
                                     "until some end\n",
                                     config.max_connections);
                    boost::system::error_code ignored;
                    socket.close(ignored);
                } else {
                    at_connection_cap = false;
                    start_http_session(std::move(socket), listener.peer, context);
                }
            }
            accept(listener);
        };
        listener.acceptor.async_accept(listener.peer, std::move(on_accept));
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
    // Declared after everything sessions refer to, so they are destroyed first.
    std::vector<std::unique_ptr<net::io_context>> loops;
    std::vector<std::unique_ptr<Listener>> listeners;
    net::steady_timer reap_timer{*loops.front()};
    // Each is logged once when it begins, whichever loop notices it.
    std::atomic<bool> out_of_descriptors{false};
    std::atomic<bool> at_connection_cap{false};
    std::vector<net::executor_work_guard<net::io_context::executor_type>> guards;
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

unsigned short Server::port() const { return impl_->listeners.front()->acceptor.local_endpoint().port(); }

unsigned Server::connection_cap() const { return impl_->config.max_connections; }

void Server::start()
{
    for (auto& listener : impl_->listeners)
        impl_->accept(*listener);
    impl_->schedule_reap();
    for (auto& loop : impl_->loops) {
        impl_->guards.emplace_back(loop->get_executor());  // loops without connections keep running
        impl_->threads.emplace_back([&loop] { loop->run(); });
    }
}

void Server::stop()
{
    for (auto& loop : impl_->loops)
        loop->stop();
    for (auto& t : impl_->threads)
        t.join();
    impl_->threads.clear();
    impl_->guards.clear();
    // Uploads already handed over are still made durable; their answers are not sent.
    impl_->service.stop_committing();
    impl_->log.flush();
}

ImageService& Server::service() { return impl_->service; }

}  // namespace imagehost
