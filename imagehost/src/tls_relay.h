#pragma once

#include "client_limits.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <filesystem>
#include <memory>
#include <mutex>

namespace imagehost {

struct ServiceContext;

// The server's certificate and key (PEM), read again on reload() so that a
// renewed certificate needs no restart. Connections keep the context they
// started with; new ones get the current one.
class TlsCredentials {
public:
    TlsCredentials(std::filesystem::path cert, std::filesystem::path key);  // throws if unusable

    // On failure the credentials in force stay, and the error is thrown.
    void reload();
    std::shared_ptr<boost::asio::ssl::context> current() const;

private:
    std::filesystem::path cert_;
    std::filesystem::path key_;
    mutable std::mutex mutex_;
    std::shared_ptr<boost::asio::ssl::context> context_;
};

// Serves one accepted connection over TLS (1.2 or 1.3): after the handshake,
// decrypted bytes go to an ordinary HTTP session through a socket pair, so
// the session's limits, parsing and answers are the same as over plain http.
// A client that speaks plain http fails the handshake and is closed.
void start_tls_connection(boost::asio::ip::tcp::socket socket, const boost::asio::ip::tcp::endpoint& peer,
                          ConnectionSlot slot, std::shared_ptr<boost::asio::ssl::context> tls,
                          ServiceContext& context);

}  // namespace imagehost
