#pragma once

#include "image_files.h"
#include "image_record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

struct RecoveryReport {
    std::size_t temporary_files = 0;
    std::size_t unrecorded_files = 0;
    std::size_t missing_files = 0;
};

// How reading an image from its store ended.
enum class ReadOutcome { Complete, NotFound, StoreFailed, ClientFailed };

// Where the bytes of stored images live. Two kinds: files under the data
// directory (served with sendfile) and an S3-compatible bucket (streamed).
// Uploads arrive in a local file either way (a PendingFile), and the storage
// makes them durable together with their record.
class ImageStorage {
public:
    // 200 once the image and its record are durable; else the status to answer.
    using Stored = std::function<void(int status)>;
    // Gets the bytes in order; returns false to stop (the client is gone).
    using Sink = std::function<bool(std::string_view bytes)>;
    using ReadDone = std::function<void(ReadOutcome)>;

    virtual ~ImageStorage() = default;

    // `stored` runs once, on a thread of the storage's, after the outcome is final.
    virtual void store(std::unique_ptr<PendingFile> file, ImageRecord record, std::string_view mime, Stored stored) = 0;
    // True when the image's bytes are gone afterwards (including when they never existed).
    virtual bool remove(std::string_view id) = 0;
    // Brings bytes and records back in line after a crash.
    virtual RecoveryReport recover() = 0;
    // The file to send, for storage on this machine; nullopt for remote storage.
    virtual std::optional<std::filesystem::path> local_path(std::string_view id) const = 0;
    // Streams `length` bytes from `first` into `sink` on a thread of the
    // storage's, then calls `done`. Remote storage only.
    virtual void read(std::string id, std::uint64_t first, std::uint64_t length, Sink sink, ReadDone done) = 0;
    // Removes stored bytes that never got a record (an instance killed
    // between the two writes) and are old enough; returns how many.
    virtual std::size_t remove_orphans() { return 0; }
    // Ends the storage's threads after the work already handed over.
    virtual void stop() = 0;
};

}  // namespace imagehost
