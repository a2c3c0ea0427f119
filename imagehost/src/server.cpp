#include "server.h"

#include "descriptor_limit.h"
#include "http_session.h"
#include "image_service.h"
#include "request_log.h"
#include "tls_relay.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/executor_work_guard.hpp>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
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
// How often records removed by another process are dropped from memory.
constexpr auto kRemovalPoll = std::chrono::seconds(1);
// Refusals of one kind are logged at most this often (an attack makes thousands).
constexpr auto kRefusalLogInterval = std::chrono::seconds(10);

std::unique_ptr<UploadKeys> make_keys(const Config& config)
{
    if (config.upload_keys.empty())
        return std::make_unique<UploadKeys>();
    return std::make_unique<UploadKeys>(config.upload_keys);
}

std::unique_ptr<TlsCredentials> make_tls(const Config& config)
{
    if (config.tls_cert.empty())
        return nullptr;
    return std::make_unique<TlsCredentials>(config.tls_cert, config.tls_key);
}

UploadLimitsConfig upload_limits(const Config& config)
{
    return {config.upload_rate_per_minute, config.upload_burst, config.upload_bytes_per_hour};
}
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
          keys(make_keys(config)),
          tls(make_tls(config)),
          upload_limiter(upload_limits(config)),
          per_address(config.max_connections_per_address),
          context{config, service, log, *keys, upload_limiter},
          loops(make_loops(config.threads))
    {
        for (const auto& proxy : config.trusted_proxies)
            net::ip::make_address(proxy);  // throws on a malformed address
        if (config.max_connections == 0)
            config.max_connections = connection_cap_for(descriptor_limit(), config.threads, tls != nullptr);
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
        // Readiness wakes every loop; those that lose the connection to
        // another must find the queue empty, not wait in accept.
        for (auto& listener : listeners)
            listener->acceptor.non_blocking(true);
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
        listener.acceptor.async_wait(tcp::acceptor::wait_read, [this, &listener](boost::system::error_code ec) {
            if (ec == net::error::operation_aborted)
                return;
            tcp::socket socket(listener.acceptor.get_executor());
            bool exhausted = false;
            if (!ec) {
                // Every loop watches the same queue: accepting and noting a
                // shortage under one lock keeps the shortage's beginning and
                // end in the order the system saw them.
                std::lock_guard lock(accept_mutex);
                listener.acceptor.accept(socket, listener.peer, ec);
                exhausted = ec && is_descriptor_exhaustion(ec.value());
                if (exhausted && !out_of_descriptors.exchange(true)) {
                    auto limit = descriptor_limit();
                    std::fprintf(stderr,
                                 "imagehost: out of file descriptors (limit %llu, %llu open, %u connections); "
                                 "accepting paused until some close\n",
                                 static_cast<unsigned long long>(limit),
                                 static_cast<unsigned long long>(open_descriptor_count(limit)),
                                 context.connections.load());
                }
                if (!ec && out_of_descriptors.exchange(false))
                    std::fprintf(stderr, "imagehost: file descriptors available again, accepting\n");
            }
            if (exhausted) {
                listener.pause.expires_after(kAcceptPause);
                listener.pause.async_wait([this, &listener](boost::system::error_code wait_ec) {
                    if (!wait_ec)
                        accept(listener);
                });
                return;
            }
            if (!ec)
                admit(std::move(socket), listener.peer);
            accept(listener);  // also after another loop took the connection (would block)
        });
    }

    void admit(tcp::socket socket, const tcp::endpoint& peer)
    {
        if (context.connections.load() >= config.max_connections) {
            if (!at_connection_cap.exchange(true))
                std::fprintf(stderr,
                             "imagehost: %u connections open, the cap; new connections are answered 503 "
                             "until some end\n",
                             config.max_connections);
            return refuse_connection(socket, "server busy, try again shortly");
        }
        at_connection_cap = false;
        auto address = peer.address().to_string();
        // A proxy in front speaks for many clients; its own connections are not limited.
        bool proxy = std::find(config.trusted_proxies.begin(), config.trusted_proxies.end(), address) !=
                     config.trusted_proxies.end();
        auto key = limit_key(address);
        if (!proxy && !per_address.try_open(key)) {
            log_refusal("imagehost: connections from %s over --max-connections-per-address (%u); "
                        "new ones answered 503\n",
                        address, config.max_connections_per_address);
            return refuse_connection(socket, "too many connections from your address, try again shortly");
        }
        auto slot = proxy ? ConnectionSlot() : ConnectionSlot(per_address, key);
        if (tls)
            return start_tls_connection(std::move(socket), peer, std::move(slot), tls->current(), context);
        start_http_session(std::move(socket), peer, std::move(slot), context);
    }

    void log_refusal(const char* format, const std::string& address, unsigned limit)
    {
        auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(refusal_log_mutex);
        if (now - last_refusal_logged < kRefusalLogInterval && last_refusal_logged.time_since_epoch().count() != 0)
            return;
        last_refusal_logged = now;
        std::fprintf(stderr, format, address.c_str(), limit);
    }

    void schedule_removal_poll()
    {
        removal_timer.expires_after(kRemovalPoll);
        removal_timer.async_wait([this](boost::system::error_code ec) {
            if (ec)
                return;
            try {
                service.forget_removed();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "imagehost: cannot read the removal log, will retry: %s\n", e.what());
            }
            schedule_removal_poll();
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
    std::unique_ptr<UploadKeys> keys;
    std::unique_ptr<TlsCredentials> tls;
    UploadLimiter upload_limiter;
    ConnectionCounter per_address;
    ServiceContext context;
    // Declared after everything sessions refer to, so they are destroyed first.
    std::vector<std::unique_ptr<net::io_context>> loops;
    std::vector<std::unique_ptr<Listener>> listeners;
    net::steady_timer reap_timer{*loops.front()};
    net::steady_timer removal_timer{*loops.front()};
    std::mutex refusal_log_mutex;
    std::chrono::steady_clock::time_point last_refusal_logged{};
    std::mutex accept_mutex;
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
    impl_->schedule_removal_poll();
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

void Server::reload()
{
    std::string failures;
    try {
        impl_->keys->reload();
    } catch (const std::exception& e) {
        failures += std::string(e.what()) + "; ";
    }
    if (impl_->tls) {
        try {
            impl_->tls->reload();
        } catch (const std::exception& e) {
            failures += std::string(e.what()) + "; ";
        }
    }
    if (!failures.empty())
        throw std::runtime_error(failures + "the previous ones stay in force");
}

std::size_t Server::upload_key_count() const { return impl_->keys->count(); }

}  // namespace imagehost
