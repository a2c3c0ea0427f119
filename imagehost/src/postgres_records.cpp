#include "postgres_records.h"

#include <libpq-fe.h>

#include <stdexcept>

namespace imagehost {
namespace {

constexpr std::size_t kIdleConnections = 16;
// Any number will do, as long as it is always the same one.
constexpr const char* kMigrationLock = "727274";

// Each entry brings the schema from the version before it to its own.
const char* const kMigrations[] = {
    "CREATE TABLE images ("
    "  id TEXT PRIMARY KEY,"
    "  extension TEXT NOT NULL,"
    "  size BIGINT NOT NULL,"
    "  created BIGINT NOT NULL,"
    "  expires BIGINT);"
    "CREATE INDEX images_by_expiry ON images(expires) WHERE expires IS NOT NULL;",
};

struct ResultCloser {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultCloser>;

[[noreturn]] void fail(PGconn* conn, const std::string& what)
{
    std::string message = PQerrorMessage(conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    throw std::runtime_error("database: " + what + ": " + message);
}

Result run(PGconn* conn, const char* sql, std::initializer_list<std::string> params, const std::string& what)
{
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p.c_str());
    Result r(PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(conn, what);
    return r;
}

void run_script(PGconn* conn, const std::string& sql, const std::string& what)
{
    Result r(PQexec(conn, sql.c_str()));
    auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(conn, what);
}

std::string text(PGresult* r, int row, int column) { return PQgetvalue(r, row, column); }

}  // namespace

// A pooled connection for one use; handed back only if healthy and outside a transaction.
class PostgresRecords::Lease {
public:
    explicit Lease(PostgresRecords& owner) : owner_(owner)
    {
        {
            std::lock_guard lock(owner_.mutex_);
            if (!owner_.idle_.empty()) {
                conn_ = owner_.idle_.back();
                owner_.idle_.pop_back();
            }
        }
        if (!conn_)
            conn_ = owner_.connect();
    }
    ~Lease()
    {
        if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE) {
            std::lock_guard lock(owner_.mutex_);
            if (owner_.idle_.size() < kIdleConnections) {
                owner_.idle_.push_back(conn_);
                return;
            }
        }
        PQfinish(conn_);
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    PGconn* get() const { return conn_; }

private:
    PostgresRecords& owner_;
    PGconn* conn_ = nullptr;
};

PostgresRecords::PostgresRecords(std::string url) : url_(std::move(url)) { migrate(); }

PostgresRecords::~PostgresRecords()
{
    for (auto* conn : idle_)
        PQfinish(conn);
}

PGconn* PostgresRecords::connect()
{
    // Bounded waits unless the address says otherwise: it comes last, so its
    // settings win. A database that hangs must not hang requests.
    const char* keys[] = {"connect_timeout", "tcp_user_timeout", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "options", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "10000", "10", "5", "2",
                            "-c statement_timeout=10000 -c lock_timeout=10000 -c idle_in_transaction_session_timeout=60000",
                            "imagehost", url_.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn)
        throw std::runtime_error("database: out of memory");
    if (PQstatus(conn) != CONNECTION_OK) {
        std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        throw std::runtime_error("database: cannot connect: " + message);
    }
    // Notices ("already exists, skipping") are not problems.
    PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
    return conn;
}

void PostgresRecords::migrate()
{
    Lease lease(*this);
    PGconn* conn = lease.get();
    run_script(conn, "BEGIN", "begin migration");
    try {
        // Instances starting together wait here for the first one's migration.
        run_script(conn, std::string("SELECT pg_advisory_xact_lock(") + kMigrationLock + ")", "lock the schema");
        run_script(conn, "CREATE TABLE IF NOT EXISTS imagehost_schema (version INTEGER NOT NULL)", "schema version");
        auto r = run(conn, "SELECT version FROM imagehost_schema", {}, "read the schema version");
        int version = PQntuples(r.get()) > 0 ? std::stoi(text(r.get(), 0, 0)) : 0;
        if (PQntuples(r.get()) == 0)
            run_script(conn, "INSERT INTO imagehost_schema VALUES (0)", "schema version");
        int latest = static_cast<int>(std::size(kMigrations));
        if (version > latest)
            throw std::runtime_error("the database's schema (version " + std::to_string(version) +
                                     ") is newer than this program's (" + std::to_string(latest) + ")");
        for (; version < latest; ++version)
            run_script(conn, kMigrations[version], "migrate the schema to version " + std::to_string(version + 1));
        run(conn, "UPDATE imagehost_schema SET version = $1", {std::to_string(latest)}, "schema version");
        run_script(conn, "COMMIT", "commit migration");
    } catch (...) {
        PQexec(conn, "ROLLBACK");
        throw;
    }
}

void PostgresRecords::insert_all(const std::vector<ImageRecord>& records)
{
    Lease lease(*this);
    PGconn* conn = lease.get();
    const char* sql = "INSERT INTO images(id, extension, size, created, expires) VALUES($1, $2, $3, $4, $5)";
    auto insert = [&](const ImageRecord& record) {
        const std::string size = std::to_string(record.size);
        const std::string created = std::to_string(record.created);
        const std::string expires = record.expires ? std::to_string(*record.expires) : std::string();
        const char* values[] = {record.id.c_str(), record.extension.c_str(), size.c_str(), created.c_str(),
                                record.expires ? expires.c_str() : nullptr};
        Result r(PQexecParams(conn, sql, 5, nullptr, values, nullptr, nullptr, 0));
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            fail(conn, "insert image");
    };
    if (records.size() == 1)
        return insert(records.front());
    run_script(conn, "BEGIN", "begin transaction");
    try {
        for (const auto& record : records)
            insert(record);
        run_script(conn, "COMMIT", "commit");
    } catch (...) {
        PQexec(conn, "ROLLBACK");
        throw;
    }
}

std::optional<ImageRecord> PostgresRecords::find(std::string_view id)
{
    Lease lease(*this);
    auto r = run(lease.get(), "SELECT id, extension, size, created, expires FROM images WHERE id = $1",
                 {std::string(id)}, "find image");
    if (PQntuples(r.get()) == 0)
        return std::nullopt;
    ImageRecord record;
    record.id = text(r.get(), 0, 0);
    record.extension = text(r.get(), 0, 1);
    record.size = std::stoll(text(r.get(), 0, 2));
    record.created = std::stoll(text(r.get(), 0, 3));
    if (!PQgetisnull(r.get(), 0, 4))
        record.expires = std::stoll(text(r.get(), 0, 4));
    return record;
}

std::vector<std::string> PostgresRecords::expired_ids(std::int64_t now, int limit)
{
    Lease lease(*this);
    auto r = run(lease.get(), "SELECT id FROM images WHERE expires IS NOT NULL AND expires <= $1 LIMIT $2",
                 {std::to_string(now), std::to_string(limit)}, "list expired images");
    std::vector<std::string> ids;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        ids.push_back(text(r.get(), i, 0));
    return ids;
}

std::vector<std::string> PostgresRecords::all_ids()
{
    Lease lease(*this);
    auto r = run(lease.get(), "SELECT id FROM images", {}, "list images");
    std::vector<std::string> ids;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        ids.push_back(text(r.get(), i, 0));
    return ids;
}

void PostgresRecords::remove(std::string_view id)
{
    Lease lease(*this);
    run(lease.get(), "DELETE FROM images WHERE id = $1", {std::string(id)}, "delete image");
}

std::size_t PostgresRecords::reap_expired(std::int64_t now,
                                          const std::function<bool(const std::string&)>& remove_image)
{
    constexpr int kBatch = 100;
    std::size_t reaped = 0;
    while (true) {
        Lease lease(*this);
        PGconn* conn = lease.get();
        bool progress = false;
        run_script(conn, "BEGIN", "begin reaping");
        try {
            // Rows another instance is reaping right now are skipped, not waited for.
            auto r = run(conn,
                         "SELECT id FROM images WHERE expires IS NOT NULL AND expires <= $1 "
                         "ORDER BY expires LIMIT $2 FOR UPDATE SKIP LOCKED",
                         {std::to_string(now), std::to_string(kBatch)}, "claim expired images");
            for (int i = 0; i < PQntuples(r.get()); ++i) {
                std::string id = text(r.get(), i, 0);
                if (!remove_image(id))
                    continue;  // kept, tried again next round
                run(conn, "DELETE FROM images WHERE id = $1", {id}, "delete expired image");
                ++reaped;
                progress = true;
            }
            run_script(conn, "COMMIT", "commit reaping");
        } catch (...) {
            PQexec(conn, "ROLLBACK");
            throw;
        }
        if (!progress)
            return reaped;
    }
}

}  // namespace imagehost
