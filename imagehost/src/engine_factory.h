#pragma once

#include "clock.h"
#include "config.h"
#include "image_files.h"
#include "image_storage.h"
#include "record_store.h"

#include <filesystem>
#include <memory>

namespace imagehost {

// Where uploads are written while they arrive: the images folder itself for
// local storage, a spool beside it for remote storage.
std::filesystem::path upload_files_dir(const Config& config);

// SQLite in the data directory, or PostgreSQL (--database).
std::unique_ptr<RecordStore> make_record_store(const Config& config);

// Files in the data directory, or an S3-compatible bucket (--storage).
std::unique_ptr<ImageStorage> make_image_storage(const Config& config, ImageFiles& files, RecordStore& records,
                                                 const Clock& clock);

}  // namespace imagehost
