#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace imagehost {

struct ImageRecord {
    std::string id;
    std::string extension;
    std::int64_t size = 0;
    std::int64_t created = 0;
    std::optional<std::int64_t> expires;
};

// Image metadata in SQLite (WAL, synchronous=FULL so that an acknowledged
// insert survives a crash). One connection behind a mutex: writers never
// meet SQLITE_BUSY from each other, and every statement is short.
class MetadataStore {
public:
    explicit MetadataStore(const std::filesystem::path& database);
    ~MetadataStore();
    MetadataStore(const MetadataStore&) = delete;
    MetadataStore& operator=(const MetadataStore&) = delete;

    void insert(const ImageRecord& record);
    std::optional<ImageRecord> find(std::string_view id);
    std::vector<std::string> expired_ids(std::int64_t now, int limit);
    std::vector<std::string> all_ids();
    void remove(std::string_view id);

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Closer> db_;
    std::mutex mutex_;
};

}  // namespace imagehost
