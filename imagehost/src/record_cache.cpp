#include "record_cache.h"

#include <mutex>

namespace imagehost {

std::optional<ImageRecord> RecordCache::find(std::string_view id) const
{
    std::shared_lock lock(mutex_);
    auto it = records_.find(std::string(id));
    if (it == records_.end())
        return std::nullopt;
    return it->second;
}

std::uint64_t RecordCache::generation() const
{
    std::shared_lock lock(mutex_);
    return generation_;
}

void RecordCache::put(const ImageRecord& record, std::uint64_t generation_before_read)
{
    std::unique_lock lock(mutex_);
    if (generation_ != generation_before_read)
        return;
    // Bounded: when full, start over; the images asked for often come back first.
    if (records_.size() >= capacity_)
        records_.clear();
    records_.insert_or_assign(record.id, record);
}

void RecordCache::remove(std::string_view id)
{
    std::unique_lock lock(mutex_);
    ++generation_;
    records_.erase(std::string(id));
}

}  // namespace imagehost
