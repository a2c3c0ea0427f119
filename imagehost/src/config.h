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
    EngineConfig engines;
};

// Parses command-line flags over the defaults above. Throws
// std::invalid_argument with a message for the user on a bad flag.
Config parse_command_line(const std::vector<std::string>& args);

std::string usage();

}  // namespace imagehost
