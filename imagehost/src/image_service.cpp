#include "image_service.h"

#include "deletion_token.h"
#include "image_address.h"
#include "image_type.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <unordered_set>

namespace imagehost {

ImageService::ImageService(const std::filesystem::path& data_dir, std::string public_url, const Clock& clock)
    : files_(data_dir),
      metadata_(data_dir / "images.sqlite3"),
      public_url_(std::move(public_url)),
      clock_(clock),
      committer_(files_, metadata_)
{
    while (!public_url_.empty() && public_url_.back() == '/')
        public_url_.pop_back();
}

RecoveryReport ImageService::recover()
{
    RecoveryReport report;
    report.temporary_files = files_.remove_temporary_files();
    auto recorded_list = metadata_.all_ids();
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
            metadata_.remove(id);
            ++report.missing_files;
        }
    }
    return report;
}

void ImageService::complete_upload(UploadReceiver& receiver, std::function<void(UploadResult)> done)
{
    auto& file = receiver.file();
    if (!file)
        return done({400, "missing file part"});
    std::optional<std::int64_t> lifetime;
    if (receiver.self_destruct_text()) {
        lifetime = parse_self_destruct(*receiver.self_destruct_text());
        if (!lifetime)
            return done({400, "selfdestruct_timeout must be a whole number of seconds from 60 to 31536000"});
    }
    auto type = sniff_image_type(file->head());
    if (!type)
        return done({415, "only PNG, JPEG, GIF, BMP and WebP images are accepted"});

    ImageRecord record;
    record.id = file->id();
    record.extension = std::string(type->extension);
    record.size = static_cast<std::int64_t>(file->size());
    record.created = clock_.now();
    if (lifetime)
        record.expires = record.created + *lifetime;
    std::string address = public_url_ + "/" + record.id + "." + record.extension;
    auto token = new_deletion_token();
    record.deletion_hash = deletion_token_hash(token);
    std::string deletion_url = public_url_ + "/delete/" + token;
    committer_.submit(std::move(file), std::move(record),
                      [address = std::move(address), deletion_url = std::move(deletion_url),
                       done = std::move(done)](bool stored) {
                          if (stored)
                              done({200, address, deletion_url});
                          else
                              done({500, "cannot store the upload", {}});
                      });
}

std::optional<StoredImage> ImageService::find(std::string_view target)
{
    auto address = parse_image_target(target);
    if (!address)
        return std::nullopt;
    auto record = metadata_.find(address->id);
    if (!record || record->extension != address->extension)
        return std::nullopt;
    std::optional<std::int64_t> seconds_left;
    if (record->expires) {
        seconds_left = *record->expires - clock_.now();
        if (*seconds_left <= 0)
            return std::nullopt;
    }
    auto type = image_type_for_extension(record->extension);
    if (!type)
        return std::nullopt;
    return StoredImage{files_.image_path(record->id), type->mime, static_cast<std::uint64_t>(record->size),
                       seconds_left};
}

std::optional<std::string> ImageService::deletion_subject(std::string_view token)
{
    auto id = metadata_.find_by_deletion_hash(deletion_token_hash(token));
    if (!id)
        return std::nullopt;
    auto record = metadata_.find(*id);
    if (!record)
        return std::nullopt;
    return public_url_ + "/" + record->id + "." + record->extension;
}

Deletion ImageService::delete_by_token(std::string_view token)
{
    auto id = metadata_.find_by_deletion_hash(deletion_token_hash(token));
    if (!id)
        return Deletion::Unknown;
    if (!files_.remove(*id)) {
        std::fprintf(stderr, "imagehost: cannot delete the file of image %s: %s\n", id->c_str(), std::strerror(errno));
        return Deletion::Failed;
    }
    metadata_.remove(*id);
    return Deletion::Deleted;
}

bool ImageService::remove(std::string_view id)
{
    if (!is_well_formed_id(id) || !metadata_.find(id))
        return false;
    if (!files_.remove(id))
        throw std::runtime_error("cannot delete the file " + files_.image_path(id).string() + ": " +
                                 std::strerror(errno));
    metadata_.remove(id);
    return true;
}

void ImageService::forget_removed()
{
    metadata_.forget_removed();
    // The server reads the log every second; a day's entries are plenty.
    constexpr std::int64_t kKeepSeconds = 86400;
    auto now = static_cast<std::int64_t>(std::time(nullptr));
    if (now - last_prune_ > 3600) {
        last_prune_ = now;
        metadata_.prune_removal_log(now - kKeepSeconds);
    }
}

std::size_t ImageService::reap()
{
    constexpr int kBatch = 500;
    std::size_t reaped = 0;
    std::unordered_set<std::string> stuck;
    while (true) {
        auto ids = metadata_.expired_ids(clock_.now(), kBatch + static_cast<int>(stuck.size()));
        bool progress = false;
        for (const auto& id : ids) {
            if (stuck.count(id))
                continue;
            if (files_.remove(id)) {
                metadata_.remove(id);
                ++reaped;
                progress = true;
            } else {
                stuck.insert(id);
            }
        }
        if (!progress)
            return reaped;
    }
}

}  // namespace imagehost
