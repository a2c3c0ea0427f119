#pragma once

#include "clock.h"
#include "config.h"

#include <cstddef>
#include <memory>

namespace imagehost {

class ImageService;

// The HTTP service: binds at construction (so port 0 can be resolved at
// once), serves on its own worker threads between start() and stop().
class Server {
public:
    Server(Config config, const Clock& clock);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    unsigned short port() const;
    // Open connections beyond this are closed at once: the configured cap, or
    // one derived from the descriptor limit.
    unsigned connection_cap() const;
    void start();
    void stop();

    ImageService& service();

    // Reads the upload keys and the TLS certificate and key again (SIGHUP).
    // What cannot be read keeps its previous value; the error is thrown.
    void reload();
    std::size_t upload_key_count() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace imagehost
