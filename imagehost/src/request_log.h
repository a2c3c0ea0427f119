#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace imagehost {

// One line per request on standard output. Lines are gathered and written a
// batch at a time by a thread of their own, at most kFlushDelay after they
// were logged: one write per request would cost a system call on every
// request. Everything logged is written by the time the log is destroyed.
class RequestLog {
public:
    static constexpr auto kFlushDelay = std::chrono::milliseconds(50);

    RequestLog();
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    void write(std::string_view remote, std::string_view method, std::string_view target, int status,
               std::uint64_t bytes, std::chrono::steady_clock::duration elapsed);

    // Writes out what is gathered now.
    void flush();

private:
    void run();

    std::mutex output_mutex_;  // taken before mutex_: batches go out in order
    std::mutex mutex_;
    std::condition_variable pending_;
    std::string lines_;
    bool stopping_ = false;
    std::thread flusher_;
};

}  // namespace imagehost
