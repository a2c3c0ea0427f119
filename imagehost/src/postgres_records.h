#pragma once

#include "record_store.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct pg_conn;

namespace imagehost {

// Image records in PostgreSQL, shared by every instance of the service.
// The schema is created or brought up to date at start-up under an advisory
// lock, so instances starting together migrate it once. Records are read
// from the database on every lookup, never kept: another instance may delete
// an image at any moment. Expired images are handed to one instance each
// (FOR UPDATE SKIP LOCKED). Connections are pooled; a broken one is dropped
// and the next request connects anew, so the service resumes by itself when
// the database is back. Every wait is bounded, on this side too: a database
// that stops answering gets no longer than the timeout.
class PostgresRecords final : public RecordStore {
public:
    // `timeout` bounds every wait: connecting, and each query's answer.
    explicit PostgresRecords(std::string url, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~PostgresRecords() override;

    void insert_all(const std::vector<ImageRecord>& records) override;
    std::optional<ImageRecord> find(std::string_view id) override;
    std::vector<std::string> expired_ids(std::int64_t now, int limit) override;
    std::vector<std::string> all_ids() override;
    void remove(std::string_view id) override;
    std::optional<std::string> find_by_deletion_hash(std::string_view hash) override;
    std::size_t reap_expired(std::int64_t now, const std::function<bool(const std::string&)>& remove_image) override;

private:
    class Lease;
    pg_conn* connect();
    void migrate();

    std::string url_;
    std::chrono::milliseconds timeout_;
    std::mutex mutex_;
    std::vector<pg_conn*> idle_;
};

}  // namespace imagehost
