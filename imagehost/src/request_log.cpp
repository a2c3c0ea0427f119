#include "request_log.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace imagehost {
namespace {

// Request targets come from the network: no control characters in the log.
std::string printable(std::string_view s, std::size_t limit)
{
    std::string out;
    for (char c : s.substr(0, limit))
        out.push_back(c > 0x20 && c < 0x7f ? c : '?');
    if (s.size() > limit)
        out += "...";
    return out.empty() ? "-" : out;
}

}  // namespace

void RequestLog::write(std::string_view remote, std::string_view method, std::string_view target, int status,
                       std::uint64_t bytes, std::chrono::steady_clock::duration elapsed)
{
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    std::string line = std::string(stamp) + " " + printable(remote, 64) + " " + printable(method, 16) + " " +
                       printable(target, 200) + " " + std::to_string(status) + " " + std::to_string(bytes) +
                       " " + std::to_string(ms) + "ms\n";
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

}  // namespace imagehost
