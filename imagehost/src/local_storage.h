#pragma once

#include "group_commit.h"
#include "image_storage.h"
#include "record_store.h"

namespace imagehost {

// Images as files under the data directory, made durable in groups
// (file fsync, directory fsync, record commit) before they are acknowledged.
class LocalStorage final : public ImageStorage {
public:
    LocalStorage(ImageFiles& files, RecordStore& records);

    void store(std::unique_ptr<PendingFile> file, ImageRecord record, std::string_view mime, Stored stored) override;
    bool remove(std::string_view id) override { return files_.remove(id); }
    // Removes temporary files, files that were never acknowledged, and records without a file.
    RecoveryReport recover() override;
    std::optional<std::filesystem::path> local_path(std::string_view id) const override;
    void read(std::string id, std::uint64_t first, std::uint64_t length, Sink sink, ReadDone done) override;
    void stop() override { committer_.stop(); }

private:
    ImageFiles& files_;
    RecordStore& records_;
    GroupCommitter committer_;
};

}  // namespace imagehost
