#include "tls_relay.h"

#include "http_session.h"

#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>
#include <sys/socket.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace imagehost {
namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

constexpr std::size_t kRelayBytes = 16 * 1024;  // one TLS record
constexpr auto kShutdownTime = std::chrono::seconds(2);

std::shared_ptr<ssl::context> make_context(const std::filesystem::path& cert, const std::filesystem::path& key)
{
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                         ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION);
    boost::system::error_code ec;
    context->use_certificate_chain_file(cert.string(), ec);
    if (ec)
        throw std::runtime_error("cannot use the certificate " + cert.string() + ": " + ec.message());
    context->use_private_key_file(key.string(), ssl::context::pem, ec);
    if (ec)
        throw std::runtime_error("cannot use the key " + key.string() + ": " + ec.message());
    if (SSL_CTX_check_private_key(context->native_handle()) != 1)
        throw std::runtime_error("the key " + key.string() + " does not belong to the certificate " + cert.string());
    return context;
}

// Moves bytes both ways between the TLS client and the session's end of the
// socket pair. Either side ending ends both.
class TlsRelay : public std::enable_shared_from_this<TlsRelay> {
public:
    TlsRelay(tcp::socket socket, std::shared_ptr<ssl::context> tls, tcp::socket inner, const ServiceContext& context)
        : tls_context_(std::move(tls)),
          stream_(beast::tcp_stream(std::move(socket)), *tls_context_),
          inner_(std::move(inner)),
          handshake_seconds_(context.config.header_timeout_seconds),
          write_seconds_(context.config.request_timeout_seconds)
    {
    }

    template <class Start>
    void handshake(Start start_session)
    {
        beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(handshake_seconds_));
        stream_.async_handshake(ssl::stream_base::server,
                                [self = shared_from_this(), start_session](beast::error_code ec) mutable {
                                    if (ec)
                                        return self->close();
                                    beast::get_lowest_layer(self->stream_).expires_never();
                                    start_session();
                                    self->from_client();
                                    self->to_client();
                                });
    }

private:
    void from_client()
    {
        stream_.async_read_some(net::buffer(in_), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            if (ec)
                return self->close();
            net::async_write(self->inner_, net::buffer(self->in_.data(), n),
                             [self](beast::error_code write_ec, std::size_t) {
                                 if (write_ec)
                                     return self->close();
                                 self->from_client();
                             });
        });
    }

    void to_client()
    {
        inner_.async_read_some(net::buffer(out_), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            if (ec)
                return self->finish();
            // A client that stops reading is given up on like a slow one over plain http.
            beast::get_lowest_layer(self->stream_).expires_after(std::chrono::seconds(self->write_seconds_));
            net::async_write(self->stream_, net::buffer(self->out_.data(), n),
                             [self](beast::error_code write_ec, std::size_t) {
                                 if (write_ec)
                                     return self->close();
                                 beast::get_lowest_layer(self->stream_).expires_never();
                                 self->to_client();
                             });
        });
    }

    // The session closed its end: tell the client (close_notify), briefly.
    void finish()
    {
        if (closed_)
            return;
        beast::get_lowest_layer(stream_).expires_after(kShutdownTime);
        stream_.async_shutdown([self = shared_from_this()](beast::error_code) { self->close(); });
    }

    void close()
    {
        if (closed_)
            return;
        closed_ = true;
        beast::error_code ignored;
        inner_.close(ignored);
        beast::get_lowest_layer(stream_).socket().close(ignored);
    }

    std::shared_ptr<ssl::context> tls_context_;  // outlives the stream that uses it
    ssl::stream<beast::tcp_stream> stream_;
    tcp::socket inner_;
    unsigned handshake_seconds_;
    unsigned write_seconds_;
    std::array<char, kRelayBytes> in_;
    std::array<char, kRelayBytes> out_;
    bool closed_ = false;
};

}  // namespace

TlsCredentials::TlsCredentials(std::filesystem::path cert, std::filesystem::path key)
    : cert_(std::move(cert)), key_(std::move(key)), context_(make_context(cert_, key_))
{
}

void TlsCredentials::reload()
{
    auto fresh = make_context(cert_, key_);
    std::lock_guard lock(mutex_);
    context_ = std::move(fresh);
}

std::shared_ptr<ssl::context> TlsCredentials::current() const
{
    std::lock_guard lock(mutex_);
    return context_;
}

void start_tls_connection(tcp::socket socket, const tcp::endpoint& peer, ConnectionSlot slot,
                          std::shared_ptr<ssl::context> tls, ServiceContext& context)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0)
        return;  // out of descriptors: the connection closes with its socket
    auto executor = socket.get_executor();
    // The session only reads, writes, waits and closes, which a stream socket
    // of either family does alike; it learns the client's address from `peer`.
    tcp::socket session_end(executor);
    tcp::socket relay_end(executor);
    boost::system::error_code ec;
    session_end.assign(tcp::v4(), pair[0], ec);
    relay_end.assign(tcp::v4(), pair[1], ec);
    auto relay = std::make_shared<TlsRelay>(std::move(socket), std::move(tls), std::move(relay_end), context);
    auto shared_slot = std::make_shared<ConnectionSlot>(std::move(slot));
    relay->handshake([session = std::make_shared<tcp::socket>(std::move(session_end)), peer, shared_slot,
                      &context]() mutable {
        start_http_session(std::move(*session), peer, std::move(*shared_slot), context);
    });
}

}  // namespace imagehost
