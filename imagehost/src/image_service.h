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
};

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

    ImageFiles& files() { return files_; }

    // Ends group commits after the uploads already handed over.
    void stop_committing() { committer_.stop(); }

private:
    ImageFiles files_;
    MetadataStore metadata_;
    std::string public_url_;
    const Clock& clock_;
    GroupCommitter committer_;  // last: its threads use the members above
};

}  // namespace imagehost
