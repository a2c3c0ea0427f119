#include "engine_factory.h"

#include "local_storage.h"
#include "metadata_store.h"
#include "postgres_records.h"
#include "s3_storage.h"

#include <algorithm>

namespace imagehost {
namespace {

// How long one wait on an engine may take: well within the request's own deadline.
std::chrono::seconds engine_wait(const Config& config)
{
    return std::chrono::seconds(std::clamp(config.request_timeout_seconds / 2, 1u, 10u));
}

}  // namespace

std::filesystem::path upload_files_dir(const Config& config)
{
    if (config.engines.remote_storage())
        return config.data_dir / "spool";
    return config.data_dir;
}

std::unique_ptr<RecordStore> make_record_store(const Config& config)
{
    if (config.engines.shared_database())
        return std::make_unique<PostgresRecords>(config.engines.database, engine_wait(config));
    std::filesystem::create_directories(config.data_dir);
    return std::make_unique<MetadataStore>(config.data_dir / "images.sqlite3");
}

std::unique_ptr<ImageStorage> make_image_storage(const Config& config, ImageFiles& files, RecordStore& records,
                                                 const Clock& clock)
{
    if (!config.engines.remote_storage())
        return std::make_unique<LocalStorage>(files, records);
    S3Client::Settings s3;
    std::string location = config.engines.storage.substr(5);  // after s3://
    auto slash = location.find('/');
    s3.bucket = location.substr(0, slash);
    if (slash != std::string::npos) {
        s3.prefix = location.substr(slash + 1);
        if (!s3.prefix.empty() && s3.prefix.back() != '/')
            s3.prefix += '/';
    }
    s3.endpoint = config.engines.s3_endpoint;
    s3.region = config.engines.s3_region;
    std::tie(s3.access_key, s3.secret_key) = load_s3_credentials(config.engines.s3_credentials_file);
    s3.timeout_seconds = config.request_timeout_seconds;
    s3.connect_timeout_seconds = std::min<long>(5, engine_wait(config).count());
    s3.stall_seconds = engine_wait(config).count();
    return std::make_unique<S3Storage>(std::move(s3), files, records, clock, config.engines.orphan_grace_seconds);
}

}  // namespace imagehost
