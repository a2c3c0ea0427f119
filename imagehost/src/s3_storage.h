#pragma once

#include "clock.h"
#include "image_storage.h"
#include "record_store.h"
#include "s3_client.h"
#include "work_pool.h"

#include <atomic>

namespace imagehost {

// Images as objects in an S3-compatible bucket, named by id, with their
// content type. An upload is spooled to a local file, then PUT, then its
// record committed; only then is it acknowledged. An instance killed between
// the PUT and the commit leaves an object without a record: such objects are
// removed once older than the grace period (younger ones may belong to
// uploads that another instance is still recording).
class S3Storage final : public ImageStorage {
public:
    S3Storage(S3Client::Settings settings, ImageFiles& spool, RecordStore& records, const Clock& clock,
              unsigned orphan_grace_seconds);
    ~S3Storage() override;

    void store(std::unique_ptr<PendingFile> file, ImageRecord record, std::string_view mime, Stored stored) override;
    bool remove(std::string_view id) override;
    // Empties the spool; removes old objects without a record.
    RecoveryReport recover() override;
    std::optional<std::filesystem::path> local_path(std::string_view) const override { return std::nullopt; }
    void read(std::string id, std::uint64_t first, std::uint64_t length, Sink sink, ReadDone done) override;
    void stop() override;

    // Removes objects without a record older than the grace period; returns how many.
    std::size_t remove_orphans() override;

private:
    S3Client client_;
    ImageFiles& spool_;
    RecordStore& records_;
    const Clock& clock_;
    unsigned orphan_grace_seconds_;
    // Apart, so that slow readers of images never hold up uploads.
    WorkPool uploads_;
    WorkPool reads_;
};

}  // namespace imagehost
