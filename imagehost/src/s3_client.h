#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace imagehost {

// Requests to one bucket of an S3-compatible store, path-style
// (ENDPOINT/BUCKET/PREFIXKEY), signed with AWS Signature V4 by libcurl.
// Every call is blocking, bounded by the timeouts given, and safe from any
// thread (each thread keeps its own connection to the store). Calls return
// the store's HTTP status, or 0 when it could not be reached or answer in time.
class S3Client {
public:
    struct Settings {
        std::string endpoint;  // http(s)://HOST[:PORT]
        std::string region;
        std::string bucket;
        std::string prefix;    // put before every key
        std::string access_key;
        std::string secret_key;
        long connect_timeout_seconds = 5;
        long timeout_seconds = 120;   // a whole request
        long stall_seconds = 15;      // no byte moving for this long
    };
    struct Listed {
        std::string key;  // without the prefix
        std::int64_t modified = 0;  // seconds since the epoch
    };

    explicit S3Client(Settings settings);

    int put_file(const std::string& key, const std::filesystem::path& file, std::uint64_t size,
                 std::string_view content_type);
    // A ranged GET when `length` is less than the whole; the body's bytes go
    // to `sink` only when the store answers 200 or 206. `sink` returning false
    // ends the transfer (returned as -1).
    int get(const std::string& key, std::uint64_t first, std::uint64_t length, bool whole,
            const std::function<bool(std::string_view)>& sink);
    int remove(const std::string& key);
    // One page of keys under the prefix; `next` is empty after the last page.
    int list(const std::string& continuation, std::vector<Listed>& keys, std::string& next);

    const Settings& settings() const { return settings_; }

private:
    std::string url(const std::string& key) const;
    Settings settings_;
    std::string encoded_prefix_;
};

// Access key and secret: from the file if one is named ([default] section of
// the AWS shared-credentials form), else AWS_ACCESS_KEY_ID and
// AWS_SECRET_ACCESS_KEY. Throws std::runtime_error when neither has them.
std::pair<std::string, std::string> load_s3_credentials(const std::string& file);

}  // namespace imagehost
