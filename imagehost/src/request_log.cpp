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

namespace {
// Beyond this the logging thread writes the batch itself: a reader of the
// output that falls behind slows requests down instead of eating memory.
constexpr std::size_t kMaxGatheredBytes = 1024 * 1024;
}  // namespace

RequestLog::RequestLog() : flusher_([this] { run(); }) {}

RequestLog::~RequestLog()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    pending_.notify_one();
    flusher_.join();
    flush();
}

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
    bool first = false;
    bool overfull = false;
    {
        std::lock_guard lock(mutex_);
        first = lines_.empty();
        lines_ += line;
        overfull = lines_.size() > kMaxGatheredBytes;
    }
    if (overfull)
        flush();
    else if (first)
        pending_.notify_one();
}

void RequestLog::flush()
{
    std::lock_guard out(output_mutex_);
    std::string batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(lines_);
    }
    if (batch.empty())
        return;
    std::fwrite(batch.data(), 1, batch.size(), stdout);
    std::fflush(stdout);
}

void RequestLog::run()
{
    std::unique_lock lock(mutex_);
    while (true) {
        pending_.wait(lock, [this] { return stopping_ || !lines_.empty(); });
        if (stopping_)
            return;
        // Lines logged meanwhile go out with this one, in the same write.
        pending_.wait_for(lock, kFlushDelay, [this] { return stopping_; });
        lock.unlock();
        flush();
        lock.lock();
    }
}

}  // namespace imagehost
