#pragma once

#include "image_files.h"
#include "record_store.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace imagehost {

// Makes finished uploads durable off the I/O threads, and cheaply under load:
// each file is fsynced on its own (by a few threads, so that the device sees
// them together), then every upload that got that far meanwhile
// shares one fsync of the image directory and one database transaction, the
// two running at the same time (each waits for the device; a record whose
// name was lost is dropped at start-up like any record without a file). The
// thread that finds no commit running commits the group itself; uploads that
// arrive meanwhile form the next group. Each upload is told its outcome only
// after its whole group is durable.
class GroupCommitter {
public:
    using Done = std::function<void(bool stored)>;

    GroupCommitter(ImageFiles& files, RecordStore& metadata);
    // Finishes everything submitted (those uploads are stored and told) first.
    ~GroupCommitter();
    GroupCommitter(const GroupCommitter&) = delete;
    GroupCommitter& operator=(const GroupCommitter&) = delete;

    // `done` runs on one of the committer's threads, exactly once.
    void submit(std::unique_ptr<PendingFile> file, ImageRecord record, Done done);

    // Stops the threads after the work already submitted.
    void stop();

private:
    struct Job {
        std::unique_ptr<PendingFile> file;
        ImageRecord record;
        Done done;
    };
    void sync_files();
    void commit(std::vector<Job>& group);
    void sync_directory_when_asked();

    // The directory fsync of the group being committed, on a thread of its own.
    struct DirectorySync {
        std::mutex mutex;
        std::condition_variable changed;
        bool requested = false;
        bool done = false;
        bool ok = false;
        bool stopping = false;
    };

    ImageFiles& files_;
    RecordStore& metadata_;
    std::mutex mutex_;
    std::condition_variable to_sync_ready_;
    std::deque<Job> to_sync_;
    std::vector<Job> to_commit_;
    bool committing_ = false;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    DirectorySync directory_;
    std::thread directory_thread_;
};

}  // namespace imagehost
