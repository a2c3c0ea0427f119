#pragma once

#include "clock.h"
#include "config.h"
#include "image_files.h"
#include "image_storage.h"
#include "record_store.h"
#include "upload_receiver.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

struct StoredImage {
    std::string id;
    std::optional<std::filesystem::path> path;  // to send; none when the storage is remote
    std::string_view mime;
    std::uint64_t size;  // as recorded when it was stored
    std::optional<std::int64_t> seconds_left;  // until self-destruct, if any
};

struct UploadResult {
    int status;
    std::string text;  // the address on success, else the reason
    std::string deletion_url = {};  // on success
};

enum class Deletion { Deleted, Unknown, Failed };

// What the service does, apart from HTTP: storing uploads, finding images and
// reaping expired ones.
class ImageService {
public:
    ImageService(const std::filesystem::path& data_dir, std::string public_url, const Clock& clock);
    // The storage and records the configuration names (local ones by default).
    ImageService(const Config& config, const Clock& clock);

    // Brings files and records back in line after a crash: removes temporary
    // files, files that were never acknowledged, and records without a file.
    RecoveryReport recover();

    // Checks the form at once; a valid image is then made durable and
    // recorded by the group committer, and `done` runs (on a committer thread)
    // once it is. A refusal calls `done` before this returns.
    void complete_upload(UploadReceiver& receiver, std::function<void(UploadResult)> done);

    // Resolves a request target; expired images are gone at once, whether or
    // not the reaper has removed them yet.
    std::optional<StoredImage> find(std::string_view target);

    // Deletes expired images and then their records; a file that cannot be
    // deleted keeps its record so that the next round tries again.
    std::size_t reap();

    // The address of the image a deletion token belongs to, if it still exists.
    std::optional<std::string> deletion_subject(std::string_view token);
    // Deletes the image and its record at once: it answers 404 from then on.
    Deletion delete_by_token(std::string_view token);
    // Deletes an image by id (its bytes first, so it stops being served at
    // once, then its record). False if there was no such image.
    bool remove(std::string_view id);

    // Drops kept records that were removed elsewhere (by hand, or by
    // `imagehost remove` while the server runs).
    void forget_removed();

    // Where uploads are written while they arrive.
    ImageFiles& files() { return files_; }
    ImageStorage& storage() { return *storage_; }

    // Ends the storage's work after the uploads already handed over.
    void stop_committing() { storage_->stop(); }

private:
    ImageFiles files_;  // the images themselves, or the spool of uploads bound for remote storage
    std::unique_ptr<RecordStore> metadata_;
    std::string public_url_;
    const Clock& clock_;
    unsigned orphan_sweep_seconds_ = 0;
    std::int64_t last_orphan_sweep_ = 0;
    std::int64_t last_prune_ = 0;  // wall clock, only on the thread of forget_removed
    std::unique_ptr<ImageStorage> storage_;  // last: its threads use the members above
};

}  // namespace imagehost
