#pragma once

#include "engine_config.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imagehost {

struct Config {
    std::string listen_host = "127.0.0.1";
    unsigned short listen_port = 80;
    std::filesystem::path data_dir = "imagehost-data";
    std::string public_url = "http://localhost";
    std::uint64_t max_upload_bytes = 32ull * 1024 * 1024;
    // Event loops, one thread each. More than the cores: creating and writing
    // an upload's file blocks its loop for a moment.
    unsigned threads = 4;
    unsigned reap_interval_seconds = 60;
    unsigned header_timeout_seconds = 10;    // to receive the whole request header
    unsigned request_timeout_seconds = 120;  // to receive a whole request, or send a response
    unsigned max_connections = 0;  // 0: derived from the descriptor limit
    bool log_requests = true;  // off only for benchmarks

    // TLS: both PEM files, or neither (plain http).
    std::filesystem::path tls_cert;
    std::filesystem::path tls_key;
    // One key a line; empty: uploads need no key.
    std::filesystem::path upload_keys;
    unsigned max_connections_per_address = 64;  // 0: no limit
    unsigned upload_rate_per_minute = 60;       // 0: no limit
    unsigned upload_burst = 20;
    std::uint64_t upload_bytes_per_hour = 2ull << 30;  // 0: no limit
    std::uint64_t min_free_disk = 1ull << 30;          // 0: no floor
    // Peers (a proxy on this machine) whose X-Forwarded-For names the client.
    std::vector<std::string> trusted_proxies;

    // Where images and records live: local by default.
    EngineConfig engines;
};

// "123", "4K", "2G", "1T" (powers of 1024) as bytes.
std::uint64_t parse_size(const std::string& flag, const std::string& text);

// Parses command-line flags over the defaults above. Throws
// std::invalid_argument with a message for the user on a bad flag.
Config parse_command_line(const std::vector<std::string>& args);

std::string usage();

}  // namespace imagehost
