#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace imagehost {

// Threads that run blocking work (requests to a remote store) in the order handed over.
class WorkPool {
public:
    explicit WorkPool(unsigned threads)
    {
        for (unsigned i = 0; i < threads; ++i)
            threads_.emplace_back([this] { run(); });
    }
    ~WorkPool() { stop(); }
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void post(std::function<void()> work)
    {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        ready_.notify_one();
    }

    // Runs what was handed over, then ends the threads.
    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (auto& t : threads_)
            t.join();
        threads_.clear();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        while (true) {
            ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            auto work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace imagehost
