#include "local_storage.h"

#include <unordered_set>

namespace imagehost {

LocalStorage::LocalStorage(ImageFiles& files, RecordStore& records)
    : files_(files), records_(records), committer_(files, records)
{
}

void LocalStorage::store(std::unique_ptr<PendingFile> file, ImageRecord record, std::string_view, Stored stored)
{
    committer_.submit(std::move(file), std::move(record),
                      [stored = std::move(stored)](bool ok) { stored(ok ? 200 : 500); });
}

RecoveryReport LocalStorage::recover()
{
    RecoveryReport report;
    report.temporary_files = files_.remove_temporary_files();
    auto recorded_list = records_.all_ids();
    std::unordered_set<std::string> recorded(recorded_list.begin(), recorded_list.end());
    std::unordered_set<std::string> on_disk;
    for (auto& id : files_.stored_ids()) {
        // Written (perhaps in part) but the record never committed: never acknowledged.
        if (!recorded.count(id)) {
            if (files_.remove(id))
                ++report.unrecorded_files;
        } else {
            on_disk.insert(std::move(id));
        }
    }
    for (const auto& id : recorded_list) {
        if (!on_disk.count(id)) {
            records_.remove(id);
            ++report.missing_files;
        }
    }
    return report;
}

std::optional<std::filesystem::path> LocalStorage::local_path(std::string_view id) const
{
    return files_.image_path(id);
}

void LocalStorage::read(std::string, std::uint64_t, std::uint64_t, Sink, ReadDone done)
{
    done(ReadOutcome::StoreFailed);  // files are sent from local_path()
}

}  // namespace imagehost
