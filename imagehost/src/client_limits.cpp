#include "client_limits.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace imagehost {

bool ConnectionCounter::try_open(const std::string& address)
{
    std::lock_guard lock(mutex_);
    auto& open = open_[address];
    if (per_address_ != 0 && open >= per_address_) {
        if (open == 0)
            open_.erase(address);
        return false;
    }
    ++open;
    return true;
}

void ConnectionCounter::close(const std::string& address)
{
    std::lock_guard lock(mutex_);
    auto it = open_.find(address);
    if (it == open_.end())
        return;
    if (--it->second == 0)
        open_.erase(it);
}

std::optional<RateRefusal> UploadLimiter::admit(const std::string& address, std::uint64_t bytes,
                                                Clock::time_point now)
{
    bool count_limited = config_.per_minute != 0;
    bool volume_limited = config_.bytes_per_hour != 0;
    if (!count_limited && !volume_limited)
        return std::nullopt;
    double burst = std::max(1u, config_.burst);
    double hour_bytes = static_cast<double>(config_.bytes_per_hour);
    std::lock_guard lock(mutex_);
    forget_idle(now);
    auto [it, fresh] = clients_.try_emplace(address, Buckets{burst, hour_bytes, now});
    auto& b = it->second;
    if (!fresh) {
        double seconds = std::chrono::duration<double>(now - b.updated).count();
        b.uploads = std::min(burst, b.uploads + seconds * config_.per_minute / 60.0);
        b.bytes = std::min(hour_bytes, b.bytes + seconds * hour_bytes / 3600.0);
        b.updated = now;
    }
    if (count_limited && b.uploads < 1.0) {
        auto wait = (1.0 - b.uploads) * 60.0 / config_.per_minute;
        return RateRefusal{"too many uploads from your address (" + std::to_string(config_.per_minute) +
                               " a minute), try again later",
                           static_cast<unsigned>(std::ceil(wait))};
    }
    auto needed = static_cast<double>(bytes);
    if (volume_limited && std::min(needed, hour_bytes) > b.bytes) {
        // An upload larger than a whole hour's allowance waits for a full bucket.
        auto wait = (std::min(needed, hour_bytes) - b.bytes) * 3600.0 / hour_bytes;
        return RateRefusal{"too many bytes uploaded from your address (" + std::to_string(config_.bytes_per_hour) +
                               " an hour), try again later",
                           static_cast<unsigned>(std::max(1.0, std::ceil(wait)))};
    }
    if (count_limited)
        b.uploads -= 1.0;
    if (volume_limited)
        b.bytes -= needed;
    return std::nullopt;
}

void UploadLimiter::forget_idle(Clock::time_point now)
{
    // A client whose buckets have refilled is no different from a new one.
    if (now - last_sweep_ < std::chrono::minutes(1))
        return;
    last_sweep_ = now;
    auto full_after = std::chrono::hours(1);
    for (auto it = clients_.begin(); it != clients_.end();)
        it = now - it->second.updated > full_after ? clients_.erase(it) : std::next(it);
}

std::optional<std::uint64_t> free_disk_bytes(const std::string& dir)
{
    struct statvfs info{};
    if (::statvfs(dir.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace imagehost
