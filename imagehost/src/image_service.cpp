#include "image_service.h"

#include "deletion_token.h"
#include "engine_factory.h"
#include "image_address.h"
#include "image_type.h"
#include "local_storage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>

namespace imagehost {

ImageService::ImageService(const std::filesystem::path& data_dir, std::string public_url, const Clock& clock)
    : ImageService(
          [&] {
              Config config;
              config.data_dir = data_dir;
              config.public_url = std::move(public_url);
              return config;
          }(),
          clock)
{
}

ImageService::ImageService(const Config& config, const Clock& clock)
    : files_(upload_files_dir(config)),
      metadata_(make_record_store(config)),
      public_url_(config.public_url),
      clock_(clock),
      orphan_sweep_seconds_(config.engines.orphan_grace_seconds),
      last_orphan_sweep_(clock.now()),
      storage_(make_image_storage(config, files_, *metadata_, clock))
{
    while (!public_url_.empty() && public_url_.back() == '/')
        public_url_.pop_back();
}

RecoveryReport ImageService::recover() { return storage_->recover(); }

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
    storage_->store(std::move(file), std::move(record), type->mime,
                    [address = std::move(address), deletion_url = std::move(deletion_url),
                     done = std::move(done)](int status) {
                        if (status == 200)
                            done({200, address, deletion_url});
                        else if (status == 503)
                            done({503, "image store unavailable, try again shortly", {}});
                        else
                            done({500, "cannot store the upload", {}});
                    });
}

std::optional<StoredImage> ImageService::find(std::string_view target)
{
    auto address = parse_image_target(target);
    if (!address)
        return std::nullopt;
    auto record = metadata_->find(address->id);
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
    return StoredImage{record->id, storage_->local_path(record->id), type->mime,
                       static_cast<std::uint64_t>(record->size), seconds_left};
}

std::optional<std::string> ImageService::deletion_subject(std::string_view token)
{
    auto id = metadata_->find_by_deletion_hash(deletion_token_hash(token));
    if (!id)
        return std::nullopt;
    auto record = metadata_->find(*id);
    if (!record)
        return std::nullopt;
    return public_url_ + "/" + record->id + "." + record->extension;
}

Deletion ImageService::delete_by_token(std::string_view token)
{
    auto id = metadata_->find_by_deletion_hash(deletion_token_hash(token));
    if (!id)
        return Deletion::Unknown;
    if (!storage_->remove(*id)) {
        std::fprintf(stderr, "imagehost: cannot delete the stored image %s: %s\n", id->c_str(),
                     storage_->local_path(*id) ? std::strerror(errno) : "the store refused or is unavailable");
        return Deletion::Failed;
    }
    metadata_->remove(*id);
    return Deletion::Deleted;
}

bool ImageService::remove(std::string_view id)
{
    if (!is_well_formed_id(id) || !metadata_->find(id))
        return false;
    if (!storage_->remove(id)) {
        auto path = storage_->local_path(id);
        throw std::runtime_error(path ? "cannot delete the file " + path->string() + ": " + std::strerror(errno)
                                      : "cannot delete image " + std::string(id) + " from the store");
    }
    metadata_->remove(id);
    return true;
}

void ImageService::forget_removed()
{
    metadata_->forget_removed();
    // The server reads the log every second; a day's entries are plenty.
    constexpr std::int64_t kKeepSeconds = 86400;
    auto now = static_cast<std::int64_t>(std::time(nullptr));
    if (now - last_prune_ > 3600) {
        last_prune_ = now;
        metadata_->prune_removal_log(now - kKeepSeconds);
    }
}

std::size_t ImageService::reap()
{
    // Objects left without a record by an instance that was killed; not on
    // every round, since it lists the whole bucket.
    if (clock_.now() - last_orphan_sweep_ >= orphan_sweep_seconds_) {
        last_orphan_sweep_ = clock_.now();
        try {
            storage_->remove_orphans();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: looking for objects without a record failed, will retry: %s\n", e.what());
        }
    }
    return metadata_->reap_expired(clock_.now(), [this](const std::string& id) { return storage_->remove(id); });
}

}  // namespace imagehost
