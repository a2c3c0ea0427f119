#pragma once

#include "image_record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace imagehost {

// Records already read from the database, by id, so that serving an image
// again needs no query (and no database lock). Only records that exist are
// kept; a removal drops its id at once. Expiry is judged by the caller on
// every lookup, so a cached record never serves an expired image.
class RecordCache {
public:
    explicit RecordCache(std::size_t capacity) : capacity_(capacity) {}

    std::optional<ImageRecord> find(std::string_view id) const;

    // Taken before reading from the database; `put` keeps the record only if
    // no removal happened since, so a record deleted meanwhile never returns.
    std::uint64_t generation() const;
    void put(const ImageRecord& record, std::uint64_t generation_before_read);

    void remove(std::string_view id);

private:
    mutable std::shared_mutex mutex_;
    std::unordered_map<std::string, ImageRecord> records_;
    std::uint64_t generation_ = 0;
    std::size_t capacity_;
};

}  // namespace imagehost
