#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace imagehost {

// Open connections per client address, so that one address cannot take
// every connection the server has.
class ConnectionCounter {
public:
    explicit ConnectionCounter(unsigned per_address) : per_address_(per_address) {}

    // False (and nothing counted) if the address already has its share; 0 means no limit.
    bool try_open(const std::string& address);
    void close(const std::string& address);

private:
    std::mutex mutex_;
    std::unordered_map<std::string, unsigned> open_;
    unsigned per_address_;
};

// One counted connection; gives its place back when destroyed.
class ConnectionSlot {
public:
    ConnectionSlot() = default;
    ConnectionSlot(ConnectionCounter& counter, std::string address)
        : counter_(&counter), address_(std::move(address)) {}
    ConnectionSlot(ConnectionSlot&& other) noexcept
        : counter_(std::exchange(other.counter_, nullptr)), address_(std::move(other.address_)) {}
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;
    ~ConnectionSlot()
    {
        if (counter_)
            counter_->close(address_);
    }

private:
    ConnectionCounter* counter_ = nullptr;
    std::string address_;
};

struct UploadLimitsConfig {
    unsigned per_minute = 60;  // 0: no limit on the count
    unsigned burst = 20;
    std::uint64_t bytes_per_hour = 2ull << 30;  // 0: no limit on the volume
};

struct RateRefusal {
    std::string reason;
    unsigned retry_after_seconds;
};

// Uploads per client address: a token bucket for their number (a steady
// rate with bursts) and one for their bytes (an hour's worth at most).
class UploadLimiter {
public:
    using Clock = std::chrono::steady_clock;
    explicit UploadLimiter(UploadLimitsConfig config) : config_(config) {}

    // Counts an upload of `bytes` (its declared length) from `address`, or
    // says why it must wait, counting nothing.
    std::optional<RateRefusal> admit(const std::string& address, std::uint64_t bytes,
                                     Clock::time_point now = Clock::now());

private:
    struct Buckets {
        double uploads;
        double bytes;
        Clock::time_point updated;
    };
    void forget_idle(Clock::time_point now);

    UploadLimitsConfig config_;
    std::mutex mutex_;
    std::unordered_map<std::string, Buckets> clients_;
    Clock::time_point last_sweep_{};
};

// Bytes the service may still use on the file system holding `dir`
// (what an unprivileged user may use); nullopt if it cannot be told.
std::optional<std::uint64_t> free_disk_bytes(const std::string& dir);

}  // namespace imagehost
