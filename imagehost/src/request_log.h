#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string_view>

namespace imagehost {

// One line per request on standard output, flushed at once so that a
// supervisor's log sees it even if the process dies.
class RequestLog {
public:
    void write(std::string_view remote, std::string_view method, std::string_view target, int status,
               std::uint64_t bytes, std::chrono::steady_clock::duration elapsed);

private:
    std::mutex mutex_;
};

}  // namespace imagehost
