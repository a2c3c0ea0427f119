#pragma once

#include "image_record.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imagehost {

// The records of stored images. Two kinds: SQLite beside the images (one
// instance) and PostgreSQL (shared by several instances). Failures to reach
// the records throw; callers answer 503 rather than 404.
class RecordStore {
public:
    virtual ~RecordStore() = default;

    // All records in one transaction; throws, with nothing inserted, if any fails.
    virtual void insert_all(const std::vector<ImageRecord>& records) = 0;
    virtual std::optional<ImageRecord> find(std::string_view id) = 0;
    virtual std::vector<std::string> expired_ids(std::int64_t now, int limit) = 0;
    virtual std::vector<std::string> all_ids() = 0;
    virtual void remove(std::string_view id) = 0;
    // The id of the image whose deletion token hashes to `hash`, if any.
    virtual std::optional<std::string> find_by_deletion_hash(std::string_view hash) = 0;

    // Drops records kept in memory that were removed by someone else since
    // the last call; and forgets what that needs older than `before`. Stores
    // that keep nothing in memory have nothing to do.
    virtual void forget_removed() {}
    virtual void prune_removal_log(std::int64_t /*before*/) {}

    // Deletes the images expired at `now`: `remove_image` deletes the stored
    // bytes (true when they are gone), then the record goes. An image whose
    // bytes cannot be deleted keeps its record for the next round. Stores
    // shared by several instances hand each image to one of them only.
    virtual std::size_t reap_expired(std::int64_t now, const std::function<bool(const std::string&)>& remove_image);
};

}  // namespace imagehost
