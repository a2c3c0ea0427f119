#pragma once

#include "clock.h"
#include "group_commit.h"
#include "image_files.h"
#include "metadata_store.h"
#include "upload_receiver.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

struct StoredImage {
    std::filesystem::path path;
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

struct RecoveryReport {
    std::size_t temporary_files = 0;
    std::size_t unrecorded_files = 0;
    std::size_t missing_files = 0;
};

// What the service does, apart from HTTP: storing uploads, finding images and
// reaping expired ones.
class ImageService {
public:
    ImageService(const std::filesystem::path& data_dir, std::string public_url, const Clock& clock);

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
    // Deletes an image by id (file first, so it stops being served at once,
    // then its record). False if there was no such image.
    bool remove(std::string_view id);

    // Drops kept records that were removed elsewhere (by hand, or by
    // `imagehost remove` while the server runs).
    void forget_removed();

    ImageFiles& files() { return files_; }

    // Ends group commits after the uploads already handed over.
    void stop_committing() { committer_.stop(); }

private:
    ImageFiles files_;
    MetadataStore metadata_;
    std::string public_url_;
    const Clock& clock_;
    std::int64_t last_prune_ = 0;  // wall clock, only on the thread of forget_removed
    GroupCommitter committer_;  // last: its threads use the members above
};

}  // namespace imagehost
