#include "metadata_store.h"

#include <sqlite3.h>

#include <stdexcept>

namespace imagehost {
namespace {

struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

// A statement prepared once and kept: reset for its next use when done with.
struct Resetter {
    void operator()(sqlite3_stmt* s) const
    {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};
using ReusedStatement = std::unique_ptr<sqlite3_stmt, Resetter>;

[[noreturn]] void throw_sqlite(sqlite3* db, const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw_sqlite(db, "prepare");
    return Statement(raw);
}

void bind_text(sqlite3_stmt* s, int index, std::string_view text)
{
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void run_to_done(sqlite3* db, sqlite3_stmt* s, const char* what)
{
    if (sqlite3_step(s) != SQLITE_DONE)
        throw_sqlite(db, what);
}

std::string column_text(sqlite3_stmt* s, int column)
{
    auto text = sqlite3_column_text(s, column);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// Databases made before images had deletion addresses lack the column; their
// images simply have no deletion token.
void add_deletion_hash_column(sqlite3* db)
{
    Statement columns = prepare(db, "SELECT 1 FROM pragma_table_info('images') WHERE name = 'deletion_hash'");
    if (sqlite3_step(columns.get()) == SQLITE_ROW)
        return;
    const char* add =
        "ALTER TABLE images ADD COLUMN deletion_hash TEXT;"
        "CREATE UNIQUE INDEX IF NOT EXISTS images_by_deletion_hash ON images(deletion_hash)"
        "  WHERE deletion_hash IS NOT NULL;";
    if (sqlite3_exec(db, add, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw_sqlite(db, "add the deletion column");
}

}  // namespace

void MetadataStore::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

MetadataStore::Connection MetadataStore::open(const std::filesystem::path& database)
{
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(database.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK)
        throw_sqlite(raw, "open database");
    sqlite3_busy_timeout(raw, 5000);  // another process (a backup tool) may hold a lock briefly
    return db;
}

namespace {
// About 150 bytes each: a few MB at most.
constexpr std::size_t kCachedRecords = 32768;
}  // namespace

MetadataStore::MetadataStore(const std::filesystem::path& database) : db_(open(database)), cache_(kCachedRecords)
{
    sqlite3* raw = db_.get();
    const char* setup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=FULL;"
        "CREATE TABLE IF NOT EXISTS images ("
        "  id TEXT PRIMARY KEY NOT NULL,"
        "  extension TEXT NOT NULL,"
        "  size INTEGER NOT NULL,"
        "  created INTEGER NOT NULL,"
        "  expires INTEGER);"
        "CREATE INDEX IF NOT EXISTS images_by_expiry ON images(expires) WHERE expires IS NOT NULL;"
        // Every removal, also one made by hand or by another process, so that
        // a running server can drop what it keeps in memory.
        "CREATE TABLE IF NOT EXISTS removals ("
        "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
        "  id TEXT NOT NULL,"
        "  at INTEGER NOT NULL);"
        "CREATE TRIGGER IF NOT EXISTS images_removed AFTER DELETE ON images BEGIN"
        "  INSERT INTO removals(id, at) VALUES(old.id, CAST(strftime('%s','now') AS INTEGER));"
        "END;";
    if (sqlite3_exec(raw, setup, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw_sqlite(raw, "initialise database");
    add_deletion_hash_column(raw);
    Statement mode = prepare(raw, "PRAGMA journal_mode;");
    if (sqlite3_step(mode.get()) != SQLITE_ROW || column_text(mode.get(), 0) != "wal")
        throw std::runtime_error("database refused WAL mode");
    // Opened after the schema exists; WAL lets it read while the writer commits.
    reader_ = open(database);
    // Lookups read pages from the mapping instead of with a system call each.
    sqlite3_exec(reader_.get(), "PRAGMA mmap_size=268435456;", nullptr, nullptr, nullptr);
    find_statement_ = prepare(reader_.get(), "SELECT id, extension, size, created, expires FROM images WHERE id = ?")
                          .release();
    Statement last = prepare(raw, "SELECT COALESCE(MAX(seq), 0) FROM removals");
    if (sqlite3_step(last.get()) == SQLITE_ROW)
        removals_seen_ = sqlite3_column_int64(last.get(), 0);
}

MetadataStore::~MetadataStore()
{
    sqlite3_finalize(find_statement_);
    sqlite3_finalize(insert_statement_);
}

void MetadataStore::insert(const ImageRecord& record)
{
    std::lock_guard lock(mutex_);
    insert_locked(record);
}

void MetadataStore::insert_all(const std::vector<ImageRecord>& records)
{
    std::lock_guard lock(mutex_);
    if (sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw_sqlite(db_.get(), "begin transaction");
    try {
        for (const auto& record : records)
            insert_locked(record);
        if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw_sqlite(db_.get(), "commit");
    } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void MetadataStore::insert_locked(const ImageRecord& record)
{
    if (!insert_statement_)
        insert_statement_ =
            prepare(db_.get(),
                    "INSERT INTO images(id, extension, size, created, expires, deletion_hash) VALUES(?,?,?,?,?,?)")
                .release();
    ReusedStatement s(insert_statement_);
    bind_text(s.get(), 1, record.id);
    bind_text(s.get(), 2, record.extension);
    sqlite3_bind_int64(s.get(), 3, record.size);
    sqlite3_bind_int64(s.get(), 4, record.created);
    if (record.expires)
        sqlite3_bind_int64(s.get(), 5, *record.expires);
    else
        sqlite3_bind_null(s.get(), 5);
    if (record.deletion_hash.empty())
        sqlite3_bind_null(s.get(), 6);
    else
        bind_text(s.get(), 6, record.deletion_hash);
    run_to_done(db_.get(), s.get(), "insert image");
}

std::optional<ImageRecord> MetadataStore::find(std::string_view id)
{
    if (auto cached = cache_.find(id))
        return cached;
    auto generation = cache_.generation();
    auto record = query(id);
    if (record)
        cache_.put(*record, generation);
    return record;
}

std::optional<ImageRecord> MetadataStore::query(std::string_view id)
{
    std::lock_guard lock(reader_mutex_);
    ReusedStatement s(find_statement_);
    bind_text(s.get(), 1, id);
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        throw_sqlite(reader_.get(), "find image");
    ImageRecord r;
    r.id = column_text(s.get(), 0);
    r.extension = column_text(s.get(), 1);
    r.size = sqlite3_column_int64(s.get(), 2);
    r.created = sqlite3_column_int64(s.get(), 3);
    if (sqlite3_column_type(s.get(), 4) != SQLITE_NULL)
        r.expires = sqlite3_column_int64(s.get(), 4);
    return r;
}

std::vector<std::string> MetadataStore::expired_ids(std::int64_t now, int limit)
{
    std::lock_guard lock(mutex_);
    auto s = prepare(db_.get(), "SELECT id FROM images WHERE expires IS NOT NULL AND expires <= ? LIMIT ?");
    sqlite3_bind_int64(s.get(), 1, now);
    sqlite3_bind_int(s.get(), 2, limit);
    std::vector<std::string> ids;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        ids.push_back(column_text(s.get(), 0));
    if (rc != SQLITE_DONE)
        throw_sqlite(db_.get(), "list expired images");
    return ids;
}

std::vector<std::string> MetadataStore::all_ids()
{
    std::lock_guard lock(mutex_);
    auto s = prepare(db_.get(), "SELECT id FROM images");
    std::vector<std::string> ids;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        ids.push_back(column_text(s.get(), 0));
    if (rc != SQLITE_DONE)
        throw_sqlite(db_.get(), "list images");
    return ids;
}

void MetadataStore::remove(std::string_view id)
{
    std::lock_guard lock(mutex_);
    auto s = prepare(db_.get(), "DELETE FROM images WHERE id = ?");
    bind_text(s.get(), 1, id);
    run_to_done(db_.get(), s.get(), "delete image");
    cache_.remove(id);
}

std::optional<std::string> MetadataStore::find_by_deletion_hash(std::string_view hash)
{
    std::lock_guard lock(reader_mutex_);
    auto s = prepare(reader_.get(), "SELECT id FROM images WHERE deletion_hash = ?");
    bind_text(s.get(), 1, hash);
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        throw_sqlite(reader_.get(), "find deletion token");
    return column_text(s.get(), 0);
}

void MetadataStore::forget_removed()
{
    std::lock_guard removals(removals_mutex_);
    std::vector<std::pair<std::int64_t, std::string>> removed;
    {
        std::lock_guard lock(reader_mutex_);
        auto s = prepare(reader_.get(), "SELECT seq, id FROM removals WHERE seq > ? ORDER BY seq");
        sqlite3_bind_int64(s.get(), 1, removals_seen_);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
            removed.emplace_back(sqlite3_column_int64(s.get(), 0), column_text(s.get(), 1));
        if (rc != SQLITE_DONE)
            throw_sqlite(reader_.get(), "read the removal log");
    }
    for (const auto& [seq, id] : removed) {
        cache_.remove(id);
        removals_seen_ = seq;
    }
}

void MetadataStore::prune_removal_log(std::int64_t before)
{
    std::lock_guard lock(mutex_);
    auto s = prepare(db_.get(), "DELETE FROM removals WHERE at < ?");
    sqlite3_bind_int64(s.get(), 1, before);
    run_to_done(db_.get(), s.get(), "prune the removal log");
}

}  // namespace imagehost
