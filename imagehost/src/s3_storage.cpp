#include "s3_storage.h"

#include "image_address.h"

#include <cstdio>
#include <exception>

namespace imagehost {
namespace {
constexpr unsigned kUploadThreads = 8;
// A read holds its thread while the client takes the bytes.
constexpr unsigned kReadThreads = 32;
constexpr int kStoreUnavailable = 503;
}  // namespace

S3Storage::S3Storage(S3Client::Settings settings, ImageFiles& spool, RecordStore& records, const Clock& clock,
                     unsigned orphan_grace_seconds)
    : client_(std::move(settings)),
      spool_(spool),
      records_(records),
      clock_(clock),
      orphan_grace_seconds_(orphan_grace_seconds),
      uploads_(kUploadThreads),
      reads_(kReadThreads)
{
}

S3Storage::~S3Storage() { stop(); }

void S3Storage::stop()
{
    uploads_.stop();
    reads_.stop();
}

void S3Storage::store(std::unique_ptr<PendingFile> file, ImageRecord record, std::string_view mime, Stored stored)
{
    auto job = [this, file = std::shared_ptr<PendingFile>(std::move(file)), record = std::move(record),
                mime = std::string(mime), stored = std::move(stored)]() {
        try {
            spool_.finish_writing(*file);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot spool an upload: %s\n", e.what());
            return stored(500);
        }
        int status = client_.put_file(record.id, spool_.image_path(record.id), file->size(), mime);
        if (status != 200) {
            std::fprintf(stderr, "imagehost: the object store refused an upload (status %d)\n", status);
            return stored(kStoreUnavailable);
        }
        try {
            records_.insert_all({record});
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot record an upload: %s\n", e.what());
            // Not acknowledged, so not kept; should this fail too, the orphan sweep removes it.
            client_.remove(record.id);
            return stored(kStoreUnavailable);
        }
        stored(200);
    };
    uploads_.post(std::move(job));
}

bool S3Storage::remove(std::string_view id)
{
    int status = client_.remove(std::string(id));
    return status == 204 || status == 200 || status == 404;
}

RecoveryReport S3Storage::recover()
{
    RecoveryReport report;
    report.temporary_files = spool_.remove_temporary_files();
    // Spooled uploads were never acknowledged.
    for (const auto& id : spool_.stored_ids())
        if (spool_.remove(id))
            ++report.temporary_files;
    try {
        report.unrecorded_files = remove_orphans();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: looking for objects without a record failed, will retry: %s\n", e.what());
    }
    return report;
}

std::size_t S3Storage::remove_orphans()
{
    std::int64_t cutoff = clock_.now() - static_cast<std::int64_t>(orphan_grace_seconds_);
    std::size_t removed = 0;
    std::string continuation;
    do {
        std::vector<S3Client::Listed> keys;
        std::string next;
        int status = client_.list(continuation, keys, next);
        if (status != 200)
            throw std::runtime_error("listing the bucket failed (status " + std::to_string(status) + ")");
        for (const auto& listed : keys) {
            if (!is_well_formed_id(listed.key) || listed.modified > cutoff)
                continue;
            if (!records_.find(listed.key) && remove(listed.key))
                ++removed;
        }
        continuation = next;
    } while (!continuation.empty());
    if (removed)
        std::fprintf(stderr, "imagehost: removed %zu stored object(s) that had no record\n", removed);
    return removed;
}

void S3Storage::read(std::string id, std::uint64_t first, std::uint64_t length, Sink sink, ReadDone done)
{
    if (length == 0)
        return done(ReadOutcome::Complete);
    reads_.post([this, id = std::move(id), first, length, sink = std::move(sink), done = std::move(done)] {
        std::uint64_t left = length;
        bool client_failed = false;
        auto limited = [&](std::string_view bytes) {
            if (left == 0)
                return true;  // a store that sent more than asked: the rest is dropped
            bytes = bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), left)));
            left -= bytes.size();
            if (!sink(bytes)) {
                client_failed = true;
                return false;
            }
            return true;
        };
        // The record's size tells whether a range is the whole object.
        int status = client_.get(id, first, length, false, limited);
        if (client_failed || status < 0)
            return done(ReadOutcome::ClientFailed);
        if (status == 404)
            return done(ReadOutcome::NotFound);
        if ((status == 200 || status == 206) && left == 0)
            return done(ReadOutcome::Complete);
        done(ReadOutcome::StoreFailed);
    });
}

}  // namespace imagehost
