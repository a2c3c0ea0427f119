#include "postgres_records.h"

#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <stdexcept>

namespace imagehost {
namespace {

constexpr std::size_t kIdleConnections = 16;
// Any number will do, as long as it is always the same one.
constexpr const char* kMigrationLock = "727274";
// Instances starting together wait for the first one's migration.
constexpr std::chrono::milliseconds kMigrationTimeout{60000};

// Each entry brings the schema from the version before it to its own.
const char* const kMigrations[] = {
    "CREATE TABLE images ("
    "  id TEXT PRIMARY KEY,"
    "  extension TEXT NOT NULL,"
    "  size BIGINT NOT NULL,"
    "  created BIGINT NOT NULL,"
    "  expires BIGINT);"
    "CREATE INDEX images_by_expiry ON images(expires) WHERE expires IS NOT NULL;",
    // Deletion addresses: only the token's hash is kept.
    "ALTER TABLE images ADD COLUMN deletion_hash TEXT;"
    "CREATE UNIQUE INDEX images_by_deletion_hash ON images(deletion_hash) WHERE deletion_hash IS NOT NULL;",
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

// Runs one query (or, without parameters, a script of several) and waits for
// its answer no longer than `timeout`: a server that stops answering (a
// frozen process still has its kernel acknowledge every packet) must not
// hold a request. A connection left waiting is never reused (see Lease).
using Params = std::vector<std::optional<std::string>>;  // nullopt: NULL

Result exec(PGconn* conn, const std::string& sql, const Params& params, const std::string& what,
            std::chrono::milliseconds timeout)
{
    std::vector<const char*> values;
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    int sent = params.empty() ? PQsendQuery(conn, sql.c_str())
                              : PQsendQueryParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                  values.data(), nullptr, nullptr, 0);
    if (!sent)
        fail(conn, what);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    Result last;
    Result error;
    while (true) {
        while (PQisBusy(conn)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                throw std::runtime_error("database: " + what + ": no answer within " +
                                         std::to_string(timeout.count() / 1000) + " s");
            pollfd wait{PQsocket(conn), POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
                fail(conn, what);
            if (!PQconsumeInput(conn))
                fail(conn, what);
        }
        Result r(PQgetResult(conn));
        if (!r)
            break;
        auto status = PQresultStatus(r.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            if (!error)
                error = std::move(r);
            continue;
        }
        last = std::move(r);
    }
    if (error || !last) {
        std::string message = error ? PQresultErrorMessage(error.get()) : PQerrorMessage(conn);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        throw std::runtime_error("database: " + what + ": " + message);
    }
    return last;
}

// Ends a transaction that failed, unless the connection is lost or still
// waiting (then it is dropped, which ends the transaction on the server).
void rollback(PGconn* conn, std::chrono::milliseconds timeout)
{
    auto state = PQtransactionStatus(conn);
    if (state != PQTRANS_INTRANS && state != PQTRANS_INERROR)
        return;
    try {
        exec(conn, "ROLLBACK", {}, "rollback", timeout);
    } catch (const std::exception&) {
    }
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

PostgresRecords::PostgresRecords(std::string url, std::chrono::milliseconds timeout)
    : url_(std::move(url)), timeout_(timeout)
{
    migrate();
}

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
    const std::string seconds = std::to_string(std::max<long long>(1, timeout_.count() / 1000));
    const std::string milliseconds = std::to_string(timeout_.count());
    const std::string options = "-c statement_timeout=" + milliseconds + " -c lock_timeout=" + milliseconds +
                                " -c idle_in_transaction_session_timeout=60000";
    const char* values[] = {seconds.c_str(), milliseconds.c_str(), "10", "5", "2", options.c_str(),
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
    exec(conn, "BEGIN", {}, "begin migration", timeout_);
    try {
        // Instances starting together wait here for the first one's migration.
        exec(conn, std::string("SELECT pg_advisory_xact_lock(") + kMigrationLock + ")", {}, "lock the schema", kMigrationTimeout);
        exec(conn, "CREATE TABLE IF NOT EXISTS imagehost_schema (version INTEGER NOT NULL)", {}, "schema version",
             kMigrationTimeout);
        auto r = exec(conn, "SELECT version FROM imagehost_schema", {}, "read the schema version", timeout_);
        int version = PQntuples(r.get()) > 0 ? std::stoi(text(r.get(), 0, 0)) : 0;
        if (PQntuples(r.get()) == 0)
            exec(conn, "INSERT INTO imagehost_schema VALUES (0)", {}, "schema version", timeout_);
        int latest = static_cast<int>(std::size(kMigrations));
        if (version > latest)
            throw std::runtime_error("the database's schema (version " + std::to_string(version) +
                                     ") is newer than this program's (" + std::to_string(latest) + ")");
        for (; version < latest; ++version)
            exec(conn, kMigrations[version], {}, "migrate the schema to version " + std::to_string(version + 1),
                 kMigrationTimeout);
        exec(conn, "UPDATE imagehost_schema SET version = $1", {std::to_string(latest)}, "schema version", timeout_);
        exec(conn, "COMMIT", {}, "commit migration", timeout_);
    } catch (...) {
        rollback(conn, timeout_);
        throw;
    }
}

void PostgresRecords::insert_all(const std::vector<ImageRecord>& records)
{
    Lease lease(*this);
    PGconn* conn = lease.get();
    const char* sql =
        "INSERT INTO images(id, extension, size, created, expires, deletion_hash) VALUES($1, $2, $3, $4, $5, $6)";
    auto insert = [&](const ImageRecord& record) {
        exec(conn, sql,
             {record.id, record.extension, std::to_string(record.size), std::to_string(record.created),
              record.expires ? std::optional<std::string>(std::to_string(*record.expires)) : std::nullopt,
              record.deletion_hash.empty() ? std::nullopt : std::optional<std::string>(record.deletion_hash)},
             "insert image", timeout_);
    };
    if (records.size() == 1)
        return insert(records.front());
    exec(conn, "BEGIN", {}, "begin transaction", timeout_);
    try {
        for (const auto& record : records)
            insert(record);
        exec(conn, "COMMIT", {}, "commit", timeout_);
    } catch (...) {
        rollback(conn, timeout_);
        throw;
    }
}

std::optional<ImageRecord> PostgresRecords::find(std::string_view id)
{
    Lease lease(*this);
    auto r = exec(lease.get(), "SELECT id, extension, size, created, expires FROM images WHERE id = $1",
                 {std::string(id)}, "find image", timeout_);
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
    auto r = exec(lease.get(), "SELECT id FROM images WHERE expires IS NOT NULL AND expires <= $1 LIMIT $2",
                 {std::to_string(now), std::to_string(limit)}, "list expired images", timeout_);
    std::vector<std::string> ids;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        ids.push_back(text(r.get(), i, 0));
    return ids;
}

std::vector<std::string> PostgresRecords::all_ids()
{
    Lease lease(*this);
    auto r = exec(lease.get(), "SELECT id FROM images", {}, "list images", timeout_);
    std::vector<std::string> ids;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        ids.push_back(text(r.get(), i, 0));
    return ids;
}

void PostgresRecords::remove(std::string_view id)
{
    Lease lease(*this);
    exec(lease.get(), "DELETE FROM images WHERE id = $1", {std::string(id)}, "delete image", timeout_);
}

std::optional<std::string> PostgresRecords::find_by_deletion_hash(std::string_view hash)
{
    Lease lease(*this);
    auto r = exec(lease.get(), "SELECT id FROM images WHERE deletion_hash = $1", {std::string(hash)},
                  "find deletion token", timeout_);
    if (PQntuples(r.get()) == 0)
        return std::nullopt;
    return text(r.get(), 0, 0);
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
        exec(conn, "BEGIN", {}, "begin reaping", timeout_);
        try {
            // Rows another instance is reaping right now are skipped, not waited for.
            auto r = exec(conn,
                         "SELECT id FROM images WHERE expires IS NOT NULL AND expires <= $1 "
                         "ORDER BY expires LIMIT $2 FOR UPDATE SKIP LOCKED",
                         {std::to_string(now), std::to_string(kBatch)}, "claim expired images", timeout_);
            for (int i = 0; i < PQntuples(r.get()); ++i) {
                std::string id = text(r.get(), i, 0);
                if (!remove_image(id))
                    continue;  // kept, tried again next round
                exec(conn, "DELETE FROM images WHERE id = $1", {id}, "delete expired image", timeout_);
                ++reaped;
                progress = true;
            }
            exec(conn, "COMMIT", {}, "commit reaping", timeout_);
        } catch (...) {
            rollback(conn, timeout_);
            throw;
        }
        if (!progress)
            return reaped;
    }
}

}  // namespace imagehost
