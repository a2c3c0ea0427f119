#pragma once

#include "image_record.h"
#include "record_cache.h"
#include "record_store.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace imagehost {

// Image metadata in SQLite (WAL, synchronous=FULL so that an acknowledged
// insert survives a crash). Writes go through one connection behind a mutex,
// so writers never meet SQLITE_BUSY from each other; lookups use a second
// connection, so serving images never waits for a commit's fsync, and
// records once found are kept in memory (removals drop them).
class MetadataStore final : public RecordStore {
public:
    explicit MetadataStore(const std::filesystem::path& database);
    ~MetadataStore() override;
    MetadataStore(const MetadataStore&) = delete;
    MetadataStore& operator=(const MetadataStore&) = delete;

    void insert(const ImageRecord& record);
    // All records in one transaction: one commit (and one log fsync) for the lot.
    // Throws, with nothing inserted, if any insert fails.
    void insert_all(const std::vector<ImageRecord>& records) override;
    std::optional<ImageRecord> find(std::string_view id) override;
    std::vector<std::string> expired_ids(std::int64_t now, int limit) override;
    std::vector<std::string> all_ids() override;
    // Removing a record (here, by another process, or by hand) drops it from
    // the cache: at once here, at the next forget_removed() otherwise.
    void remove(std::string_view id) override;

    // The id of the image whose deletion token hashes to `hash`, if any.
    std::optional<std::string> find_by_deletion_hash(std::string_view hash) override;

    // Drops from the cache every record removed since the last call, whoever
    // removed it (every delete is logged by a trigger). Cheap when nothing
    // changed; the server calls it every second.
    void forget_removed() override;
    // Forgets log entries older than `before` (Unix seconds).
    void prune_removal_log(std::int64_t before) override;

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    using Connection = std::unique_ptr<sqlite3, Closer>;
    static Connection open(const std::filesystem::path& database);
    void insert_locked(const ImageRecord& record);
    std::optional<ImageRecord> query(std::string_view id);

    Connection db_;
    std::mutex mutex_;
    Connection reader_;
    std::mutex reader_mutex_;
    sqlite3_stmt* find_statement_ = nullptr;  // on reader_, prepared once: lookups are the hot path
    sqlite3_stmt* insert_statement_ = nullptr;  // on db_, under mutex_, prepared on first use
    RecordCache cache_;
    std::mutex removals_mutex_;
    std::int64_t removals_seen_ = 0;  // under removals_mutex_
};

}  // namespace imagehost
