#include "group_commit.h"

#include <cstdio>
#include <exception>

namespace imagehost {
namespace {
// fsync mostly waits for the device; a few at once let it merge them.
constexpr unsigned kSyncThreads = 8;
}

GroupCommitter::GroupCommitter(ImageFiles& files, MetadataStore& metadata) : files_(files), metadata_(metadata)
{
    for (unsigned i = 0; i < kSyncThreads; ++i)
        threads_.emplace_back([this] { sync_files(); });
}

GroupCommitter::~GroupCommitter() { stop(); }

void GroupCommitter::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    to_sync_ready_.notify_all();
    for (auto& t : threads_)
        t.join();
    threads_.clear();
}

void GroupCommitter::submit(std::unique_ptr<PendingFile> file, ImageRecord record, Done done)
{
    {
        std::lock_guard lock(mutex_);
        to_sync_.push_back(Job{std::move(file), std::move(record), std::move(done)});
    }
    to_sync_ready_.notify_one();
}

void GroupCommitter::sync_files()
{
    std::unique_lock lock(mutex_);
    while (true) {
        to_sync_ready_.wait(lock, [this] { return stopping_ || !to_sync_.empty(); });
        if (to_sync_.empty())
            return;  // stopping, and nothing left
        Job job = std::move(to_sync_.front());
        to_sync_.pop_front();
        lock.unlock();
        bool ok = true;
        try {
            files_.make_durable(*job.file, job.record.id);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot store an upload: %s\n", e.what());
            ok = false;
        }
        if (!ok) {
            job.file.reset();  // removes the temporary file
            job.done(false);
            lock.lock();
            continue;
        }
        lock.lock();
        to_commit_.push_back(std::move(job));
        if (committing_)
            continue;  // the running commit's thread takes it in its next group
        committing_ = true;
        while (!to_commit_.empty()) {
            std::vector<Job> group;
            group.swap(to_commit_);
            lock.unlock();
            commit(group);
            lock.lock();
        }
        committing_ = false;
    }
}

void GroupCommitter::commit(std::vector<Job>& group)
{
    bool ok = true;
    try {
        files_.sync_images_directory();
        std::vector<ImageRecord> records;
        records.reserve(group.size());
        for (const auto& job : group)
            records.push_back(job.record);
        metadata_.insert_all(records);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: cannot record %zu upload(s): %s\n", group.size(), e.what());
        ok = false;
    }
    for (auto& job : group) {
        job.file.reset();
        if (!ok)  // renamed but never recorded: not acknowledged, so not kept
            files_.remove(job.record.id);
        job.done(ok);
    }
}

}  // namespace imagehost
