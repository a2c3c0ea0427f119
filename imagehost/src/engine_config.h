#pragma once

#include <cstdint>
#include <string>

namespace imagehost {

// Where images and their records live. Empty storage and database mean the
// local kinds: files under --data-dir and SQLite beside them.
struct EngineConfig {
    std::string storage;           // s3://BUCKET[/PREFIX], or empty
    std::string s3_endpoint;       // http(s)://HOST[:PORT], path-style addressing
    std::string s3_region = "us-east-1";
    std::string s3_credentials_file;  // AWS shared-credentials form; else AWS_* variables
    std::string database;          // postgresql://..., or empty
    // Objects without a record are removed once they are this old: younger
    // ones may belong to uploads another instance is still recording.
    unsigned orphan_grace_seconds = 900;

    bool remote_storage() const { return !storage.empty(); }
    bool shared_database() const { return !database.empty(); }
};

// Takes the flag if it is one of the engine flags above. Throws
// std::invalid_argument with a message for the user on a bad value.
bool parse_engine_flag(const std::string& name, const std::string& value, EngineConfig& engines);

// Checks the flags together, once all are read.
void check_engine_flags(const EngineConfig& engines);

std::string engine_usage();

}  // namespace imagehost
