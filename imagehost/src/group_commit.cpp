#include "group_commit.h"

#include <cstdio>
#include <exception>

namespace imagehost {
namespace {
// fsync mostly waits for the device; a few at once let it merge them.
constexpr unsigned kSyncThreads = 8;
}

GroupCommitter::GroupCommitter(ImageFiles& files, RecordStore& metadata) : files_(files), metadata_(metadata)
{
    directory_thread_ = std::thread([this] { sync_directory_when_asked(); });
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
    if (directory_thread_.joinable()) {
        {
            std::lock_guard lock(directory_.mutex);
            directory_.stopping = true;
        }
        directory_.changed.notify_all();
        directory_thread_.join();
    }
}

void GroupCommitter::sync_directory_when_asked()
{
    std::unique_lock lock(directory_.mutex);
    while (true) {
        directory_.changed.wait(lock, [this] { return directory_.stopping || directory_.requested; });
        if (!directory_.requested)
            return;  // stopping; no commit can ask any more
        directory_.requested = false;
        lock.unlock();
        bool ok = true;
        try {
            files_.sync_images_directory();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot make new image names durable: %s\n", e.what());
            ok = false;
        }
        lock.lock();
        directory_.ok = ok;
        directory_.done = true;
        directory_.changed.notify_all();
    }
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
            files_.make_durable(*job.file);
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
    {
        std::lock_guard lock(directory_.mutex);
        directory_.requested = true;
        directory_.done = false;
    }
    directory_.changed.notify_all();
    bool recorded = true;
    try {
        std::vector<ImageRecord> records;
        records.reserve(group.size());
        for (const auto& job : group)
            records.push_back(job.record);
        metadata_.insert_all(records);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imagehost: cannot record %zu upload(s): %s\n", group.size(), e.what());
        recorded = false;
    }
    bool named = false;
    {
        std::unique_lock lock(directory_.mutex);
        directory_.changed.wait(lock, [this] { return directory_.done; });
        named = directory_.ok;
    }
    bool ok = recorded && named;
    for (auto& job : group) {
        job.file.reset();
        if (!ok) {  // not acknowledged, so not kept: neither the file nor its record
            files_.remove(job.record.id);
            if (recorded) {
                try {
                    metadata_.remove(job.record.id);
                } catch (const std::exception&) {
                    // start-up drops records whose file is gone
                }
            }
        }
        job.done(ok);
    }
}

}  // namespace imagehost
