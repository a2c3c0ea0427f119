#include "http_session.h"

#include "byte_range.h"
#include "descriptor_limit.h"
#include "multipart_parser.h"
#include "upload_receiver.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace imagehost {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;
using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr std::size_t kHeaderReadBytes = 4 * 1024;
// Room for the multipart framing around the image: delimiters, part headers
// and a few small form fields.
constexpr std::uint64_t kFramingAllowance = 64 * 1024;
// Body reads go straight from the socket into one buffer of this size per
// event loop thread, whatever the size of the upload.
constexpr std::size_t kChunkBytes = 128 * 1024;
// Reads of one body in a row before the loop's other work gets a turn.
constexpr int kReadsPerTurn = 8;
// sendfile moves at most this much per call, so one large image cannot hold
// a worker thread for long.
constexpr std::size_t kSendfileBytes = 1024 * 1024;

constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::uint64_t kLingerBytes = 4 * 1024 * 1024;
constexpr const char* kRetryAfterSeconds = "1";

bool iequals(beast::string_view a, beast::string_view b) { return beast::iequals(a, b); }

// A session reads a body only while its loop's thread runs it, and feeds each
// piece on at once, so the connections of one loop share one receive buffer
// instead of allocating and faulting in one each.
char* loop_receive_buffer()
{
    thread_local std::unique_ptr<char[]> buffer(new char[kChunkBytes]);
    return buffer.get();
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket socket, const tcp::endpoint& peer, ServiceContext& context)
        : stream_(std::move(socket)), context_(context), buffer_(kHeaderLimit * 2), deadline_(stream_.get_executor())
    {
        ++context_.connections;
        // Room reserved up front, so that a read takes a usual header whole
        // rather than a few hundred bytes; bodies do not pass through here.
        buffer_.reserve(kHeaderReadBytes);
        remote_ = peer.address().to_string();
        beast::error_code ec;
        stream_.socket().native_non_blocking(true, ec);
    }
    ~HttpSession() { --context_.connections; }

    void read_header()
    {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(context_.config.max_upload_bytes + kFramingAllowance);
        receiver_.reset();
        multipart_.reset();
        method_.clear();
        target_.clear();
        head_request_ = false;
        started_ = Clock::now();
        stream_.expires_after(std::chrono::seconds(context_.config.header_timeout_seconds));
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    self->on_header(ec);
                                });
    }

private:
    void on_header(beast::error_code ec)
    {
        if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset)
            return close_quietly();
        if (ec)
            recall_request_line();
        if (ec == http::error::body_limit)  // the declared Content-Length is already too much
            return reply(http::status::payload_too_large,
                         "image larger than " + std::to_string(context_.config.max_upload_bytes) + " bytes", true);
        if (ec == http::error::header_limit)
            return reply(http::status::request_header_fields_too_large, "request header too large", true);
        if (ec == beast::error::timeout)
            return abandon(408);
        if (ec)
            return reply(http::status::bad_request, "malformed HTTP request", true);

        auto& req = parser_->get();
        method_ = std::string(req.method_string());
        head_request_ = req.method() == http::verb::head;
        target_ = std::string(req.target());
        bool has_body = parser_->chunked() || parser_->content_length().value_or(0) > 0;

        if (req.method() == http::verb::post) {
            if (req.target() == "/upload.php")
                return begin_upload();
            return reply(http::status::not_found, "not found", true);
        }
        if (req.method() != http::verb::get && req.method() != http::verb::head)
            return reply(http::status::method_not_allowed, "method not allowed", true);
        if (has_body)
            return reply(http::status::bad_request, "unexpected request body", true);
        serve_image(req.method() == http::verb::head);
    }

    // A request refused before its header was understood is still logged
    // with whatever its first line says.
    void recall_request_line()
    {
        auto& req = parser_->get();
        if (!req.target().empty()) {
            method_ = std::string(req.method_string());
            target_ = std::string(req.target());
            return;
        }
        auto data = buffer_.data();
        std::string_view raw(static_cast<const char*>(data.data()), data.size());
        raw = raw.substr(0, std::min(raw.find_first_of("\r\n"), std::size_t{512}));
        auto space = raw.find(' ');
        method_ = std::string(raw.substr(0, space));
        if (space != std::string_view::npos) {
            auto rest = raw.substr(space + 1);
            target_ = std::string(rest.substr(0, rest.find(' ')));
        }
    }

    void serve_image(bool head_only)
    {
        bool keep_alive = parser_->get().keep_alive();
        // Query strings (cache busters, tracking tags) do not change the image.
        std::string_view path = std::string_view(target_).substr(0, target_.find('?'));
        if (path == "/")
            return reply(http::status::ok, "image host: POST images to /upload.php", !keep_alive);
        std::optional<StoredImage> image;
        try {
            image = context_.service.find(path);
        } catch (const std::exception&) {
            return reply(http::status::service_unavailable, "image index unavailable, try again shortly", true);
        }
        if (!image)
            return reply(http::status::not_found, "not found", !keep_alive);

        UniqueFd file;
        int failure = 0;
        if (!image->path) {
            // In remote storage: the record is enough for HEAD; GET streams from the store.
        } else if (head_only) {  // the file's presence is enough, and needs no descriptor
            struct stat info{};
            if (::stat(image->path->c_str(), &info) != 0)
                failure = errno;
        } else {
            // Stored images never change, so the recorded size is the file's;
            // should the file be shorter all the same, sendfile finds out and
            // the connection is closed rather than the response padded.
            file = UniqueFd(::open(image->path->c_str(), O_RDONLY | O_CLOEXEC));
            if (!file)
                failure = errno;
        }
        if (failure == ENOENT)  // reaped between lookup and open
            return reply(http::status::not_found, "not found", !keep_alive);
        if (failure) {
            // The image exists: a 404 here would be kept by caches. Closing
            // also gives a descriptor back.
            if (is_descriptor_exhaustion(failure))
                return reply(http::status::service_unavailable, "server busy (out of file descriptors), try again shortly",
                             true);
            return reply(http::status::service_unavailable, "cannot read the image now, try again shortly", true);
        }

        auto size = image->size;
        auto range = decide_range(parser_->get()[http::field::if_range].empty()
                                      ? parser_->get()[http::field::range]
                                      : beast::string_view{},  // no validators are handed out, so none can match
                                  size);
        if (range.kind == RangeDecision::Unsatisfiable)
            return reply(http::status::range_not_satisfiable, "range not satisfiable", !keep_alive,
                         {{"Content-Range", "bytes */" + std::to_string(size)}});

        http::response<http::empty_body> res{http::status::ok, 11};
        res.set(http::field::content_type, image->mime);
        res.set("X-Content-Type-Options", "nosniff");
        res.set("Content-Security-Policy", "sandbox");
        res.set(http::field::cache_control, cache_control(image->seconds_left));
        res.set(http::field::accept_ranges, "bytes");
        std::uint64_t first = 0;
        std::uint64_t length = size;
        if (range.kind == RangeDecision::Partial) {
            res.result(http::status::partial_content);
            first = range.first;
            length = range.length;
            res.set(http::field::content_range, "bytes " + std::to_string(first) + "-" +
                                                    std::to_string(first + length - 1) + "/" + std::to_string(size));
        }
        res.content_length(length);
        res.keep_alive(keep_alive);
        if (!image->path && !head_only)
            return send_from_store(image->id, res.result_int(), serialize_header(res), first, length, !keep_alive);
        log(res.result_int(), head_only ? 0 : length);
        send_raw(serialize_header(res), std::move(file), first, head_only ? 0 : length, !keep_alive);
    }

    // Streams an image from remote storage on one of the storage's threads,
    // which writes to the socket itself (blocking, within the response
    // deadline) while this session waits. The header goes out with the first
    // bytes, so a store that fails before them still gets a 503 or 404 answered.
    void send_from_store(const std::string& id, int status, std::string header, std::uint64_t first,
                         std::uint64_t length, bool close)
    {
        struct Transfer {
            std::string header;
            bool header_sent = false;
        };
        auto transfer = std::make_shared<Transfer>();
        transfer->header = std::move(header);
        int fd = stream_.socket().native_handle();
        auto deadline = Clock::now() + std::chrono::seconds(context_.config.request_timeout_seconds);
        auto sink = [transfer, fd, deadline](std::string_view bytes) {
            if (!transfer->header_sent) {
                if (!send_blocking(fd, transfer->header, deadline))
                    return false;
                transfer->header_sent = true;
            }
            return send_blocking(fd, bytes, deadline);
        };
        auto done = [self = shared_from_this(), transfer, status, length, close](ReadOutcome outcome) {
            net::post(self->stream_.get_executor(), [self, transfer, status, length, close, outcome] {
                if (transfer->header_sent) {
                    self->log(status, length);
                    if (outcome != ReadOutcome::Complete)
                        return self->close_quietly();  // a response cut short cannot be mended
                    return self->finish_raw(true);
                }
                if (outcome == ReadOutcome::Complete) {  // nothing to stream
                    self->log(status, length);
                    return self->send_raw(std::move(transfer->header), UniqueFd(), 0, 0, close);
                }
                if (outcome == ReadOutcome::NotFound)  // deleted meanwhile
                    return self->reply(http::status::not_found, "not found", close);
                if (outcome == ReadOutcome::ClientFailed)
                    return self->abandon(499);
                self->reply(http::status::service_unavailable, "image store unavailable, try again shortly", true);
            });
        };
        close_after_send_ = close;
        context_.service.storage().read(id, first, length, std::move(sink), std::move(done));
    }

    // Sends all of `bytes` on the non-blocking socket, waiting for room until the deadline.
    static bool send_blocking(int fd, std::string_view bytes, Clock::time_point deadline)
    {
        while (!bytes.empty()) {
            ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0)
                    return false;
                pollfd wait{fd, POLLOUT, 0};
                if (::poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000))) < 0 && errno != EINTR)
                    return false;
                continue;
            }
            return false;
        }
        return true;
    }

    static std::string serialize_header(const http::response<http::empty_body>& res)
    {
        std::string out = "HTTP/1.1 " + std::to_string(res.result_int()) + " " + std::string(res.reason()) + "\r\n";
        for (const auto& field : res)
            out.append(field.name_string()).append(": ").append(field.value()).append("\r\n");
        out += "\r\n";
        return out;
    }

    static std::string cache_control(std::optional<std::int64_t> seconds_left)
    {
        if (!seconds_left)
            return "public, max-age=86400, immutable";
        // Caches must not keep the image past its self-destruct time.
        return "public, max-age=" + std::to_string(std::min<std::int64_t>(86400, *seconds_left));
    }

    // Writes a header and then `length` bytes of `file` from `offset`, with
    // sendfile: the image goes from the page cache to the socket without
    // passing through this process.
    void send_raw(std::string header, UniqueFd file, std::uint64_t offset, std::uint64_t length, bool close)
    {
        raw_header_ = std::move(header);
        raw_header_sent_ = 0;
        raw_file_ = std::move(file);
        raw_offset_ = offset;
        raw_left_ = length;
        close_after_send_ = close;
        pump_raw();
    }

    // Bounds the waits on the raw socket (a body being received, a file
    // being sent). Once it passes, the wait under way ends with an error and
    // no further wait starts.
    void arm_deadline(Clock::time_point at)
    {
        if (deadline_armed_)
            return;
        deadline_armed_ = true;
        deadline_passed_ = false;
        deadline_.expires_at(at);
        deadline_.async_wait([self = shared_from_this(), armed = ++deadline_arming_](beast::error_code ec) {
            // An expiry that raced with its cancellation must not end a later wait.
            if (!ec && armed == self->deadline_arming_) {  // a peer too slow: give up on it
                self->deadline_passed_ = true;
                beast::error_code ignored;
                self->stream_.socket().cancel(ignored);
            }
        });
    }

    void disarm_deadline()
    {
        if (deadline_armed_) {
            deadline_.cancel();
            ++deadline_arming_;
        }
        deadline_armed_ = false;
    }

    void pump_raw()
    {
        int fd = stream_.socket().native_handle();
        while (raw_header_sent_ < raw_header_.size() || raw_left_ > 0) {
            ssize_t n;
            if (raw_header_sent_ < raw_header_.size()) {
                n = ::send(fd, raw_header_.data() + raw_header_sent_, raw_header_.size() - raw_header_sent_,
                           MSG_NOSIGNAL | (raw_left_ > 0 ? MSG_MORE : 0));
                if (n > 0)
                    raw_header_sent_ += static_cast<std::size_t>(n);
            } else {
                off_t offset = static_cast<off_t>(raw_offset_);
                n = ::sendfile(fd, raw_file_.get(), &offset,
                               static_cast<std::size_t>(std::min<std::uint64_t>(raw_left_, kSendfileBytes)));
                if (n == 0)  // the file is shorter than announced: the response cannot be completed
                    return finish_raw(false);
                if (n > 0) {
                    raw_offset_ = static_cast<std::uint64_t>(offset);
                    raw_left_ -= static_cast<std::uint64_t>(n);
                }
            }
            if (n >= 0 || errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return finish_raw(false);
            // Armed only when the socket is full: most responses go out at once.
            arm_deadline(Clock::now() + std::chrono::seconds(context_.config.request_timeout_seconds));
            if (deadline_passed_)
                return finish_raw(false);
            stream_.socket().async_wait(tcp::socket::wait_write,
                                        [self = shared_from_this()](beast::error_code ec) {
                                            if (ec)
                                                return self->finish_raw(false);
                                            self->pump_raw();
                                        });
            return;
        }
        finish_raw(true);
    }

    void finish_raw(bool sent)
    {
        disarm_deadline();
        raw_file_.reset();
        raw_header_.clear();
        if (!sent)
            return close_quietly();
        if (close_after_send_)
            return linger();
        read_header();
    }

    void begin_upload()
    {
        auto& req = parser_->get();
        // Only a declared length lets an oversized body be refused before any
        // of it is read; chunked or unframed bodies are not accepted.
        if (parser_->chunked() || !parser_->content_length())
            return reply(http::status::length_required, "a Content-Length is required", true);
        auto encoding = req[http::field::content_encoding];
        if (!encoding.empty() && !iequals(encoding, "identity"))
            return reply(http::status::unsupported_media_type, "compressed request bodies are not accepted", true);
        if (*parser_->content_length() > context_.config.max_upload_bytes + kFramingAllowance)
            return reply(http::status::payload_too_large,
                         "image larger than " + std::to_string(context_.config.max_upload_bytes) + " bytes", true);
        auto boundary = multipart_boundary(req[http::field::content_type]);
        if (!boundary)
            return reply(http::status::bad_request, "expected multipart/form-data with a boundary", true);

        body_left_ = *parser_->content_length();
        receiver_.emplace(context_.service.files(), context_.config.max_upload_bytes);
        multipart_.emplace(*boundary, *receiver_);
        stream_.expires_at(started_ + std::chrono::seconds(context_.config.request_timeout_seconds));

        if (iequals(req[http::field::expect], "100-continue")) {
            auto interim = std::make_shared<http::response<http::empty_body>>(http::status::continue_, 11);
            http::async_write(stream_, *interim,
                              [self = shared_from_this(), interim](beast::error_code ec, std::size_t) {
                                  if (ec)
                                      return self->abandon(499);
                                  self->read_body();
                              });
            return;
        }
        read_body();
    }

    void read_body()
    {
        // Whatever came in with the header first.
        if (buffer_.size() > 0 && body_left_ > 0) {
            auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), body_left_));
            auto data = buffer_.data();
            bool ok = feed(std::string_view(static_cast<const char*>(data.data()), n));
            buffer_.consume(n);
            body_left_ -= n;
            if (!ok)
                return;
        }
        arm_deadline(started_ + std::chrono::seconds(context_.config.request_timeout_seconds));
        read_available_body();
    }

    // Reads what the socket holds, in large pieces, until the body is complete
    // or the socket is empty; then waits for more.
    void read_available_body()
    {
        if (deadline_passed_)  // even a sender that never lets the socket run empty
            return give_up_body();
        int fd = stream_.socket().native_handle();
        char* chunk = loop_receive_buffer();
        for (int reads = 0; body_left_ > 0; ++reads) {
            if (reads == kReadsPerTurn) {  // a fast sender of a large image lets the loop's other connections in
                net::post(stream_.get_executor(), [self = shared_from_this()] { self->read_available_body(); });
                return;
            }
            // Never past this request's body: a pipelined next request stays in the socket.
            auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, body_left_));
            ssize_t n = ::recv(fd, chunk, want, 0);
            if (n > 0) {
                body_left_ -= static_cast<std::uint64_t>(n);
                if (!feed(std::string_view(chunk, static_cast<std::size_t>(n)))) {
                    disarm_deadline();
                    return;
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !deadline_passed_) {
                stream_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
                    if (ec)
                        return self->give_up_body();
                    self->read_available_body();
                });
                return;
            }
            return give_up_body();  // closed, reset, or too slow
        }
        disarm_deadline();
        finish_body();
    }

    // Timed out or gone half-way: nothing to answer; the pending file is
    // removed with the receiver.
    void give_up_body()
    {
        bool timed_out = deadline_passed_;
        disarm_deadline();
        receiver_.reset();
        abandon(timed_out ? 408 : 499);
    }

    bool feed(std::string_view data)
    {
        if (multipart_->feed(data))
            return true;
        if (receiver_->refusal())
            refuse_upload(*receiver_->refusal());
        else
            refuse_upload(Refusal{400, "malformed multipart body: " + multipart_->error()});
        return false;
    }

    void finish_body()
    {
        if (!multipart_->finished())
            return refuse_upload(Refusal{400, "malformed multipart body: no closing delimiter"});
        bool close = !parser_->get().keep_alive();
        // The answer waits until the image is durable; the I/O thread does not.
        context_.service.complete_upload(*receiver_, [self = shared_from_this(), close](UploadResult result) {
            net::post(self->stream_.get_executor(), [self, close, result = std::move(result)] {
                self->on_stored(result, close);
            });
        });
        receiver_.reset();
    }

    void on_stored(const UploadResult& result, bool close)
    {
        if (result.status != 200)
            return reply(static_cast<http::status>(result.status), result.text, close);
        http::response<http::string_body> res{http::status::ok, 11};
        res.set("Uploaded", result.text);
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.set("X-Content-Type-Options", "nosniff");
        res.body() = result.text + "\n";
        res.keep_alive(!close);
        res.prepare_payload();
        send(std::move(res), close, 200, result.text.size() + 1);
    }

    void refuse_upload(Refusal refusal)  // a copy: it may live in the receiver reset below
    {
        receiver_.reset();
        reply(static_cast<http::status>(refusal.status), refusal.reason, true);
    }

    void reply(http::status status, const std::string& reason, bool close, const Fields& extra = {})
    {
        auto set_headers = [&](auto& res) {
            res.set(http::field::content_type, "text/plain; charset=utf-8");
            res.set("X-Content-Type-Options", "nosniff");
            if (status == http::status::method_not_allowed)
                res.set(http::field::allow, "GET, HEAD, POST");
            if (status == http::status::service_unavailable)
                res.set(http::field::retry_after, kRetryAfterSeconds);
            for (const auto& [name, value] : extra)
                res.set(name, value);
            res.keep_alive(!close);
        };
        std::string body = reason + "\n";
        if (head_request_) {  // same header, no body: the connection must stay in step
            http::response<http::empty_body> res{status, 11};
            set_headers(res);
            res.content_length(body.size());
            return send(std::move(res), close, static_cast<int>(status), 0);
        }
        http::response<http::string_body> res{status, 11};
        set_headers(res);
        res.body() = std::move(body);
        res.prepare_payload();
        send(std::move(res), close, static_cast<int>(status), reason.size() + 1);
    }

    template <class Body>
    void send(http::response<Body>&& response, bool close, int status, std::uint64_t bytes)
    {
        log(status, bytes);
        auto message = std::make_shared<http::response<Body>>(std::move(response));
        // Slow readers get as long for a response as slow writers get for a request.
        stream_.expires_after(std::chrono::seconds(context_.config.request_timeout_seconds));
        http::async_write(stream_, *message,
                          [self = shared_from_this(), message, close](beast::error_code ec, std::size_t) {
                              if (ec)
                                  return;
                              if (close)
                                  return self->linger();
                              self->read_header();
                          });
    }

    // Closing right after an early answer would reset the connection while
    // the client is still sending, and it might never read the answer. So
    // stop sending, then read and discard for a bounded time and amount.
    void linger()
    {
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        stream_.expires_after(kLingerTime);
        drain();
    }

    void drain()
    {
        // What is read is thrown away, so the loop's buffer serves every lingering connection at once.
        stream_.async_read_some(net::buffer(loop_receive_buffer(), kChunkBytes),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
            self->drained_ += n;
            if (ec || self->drained_ > kLingerBytes)
                return self->close_quietly();
            self->drain();
        });
    }

    void abandon(int status)
    {
        log(status, 0);
        close_quietly();
    }

    void close_quietly()
    {
        beast::error_code ec;
        stream_.socket().close(ec);
    }

    void log(int status, std::uint64_t bytes)
    {
        if (!context_.config.log_requests)
            return;
        context_.log.write(remote_, method_, target_, status, bytes, Clock::now() - started_);
    }

    beast::tcp_stream stream_;
    ServiceContext& context_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::optional<UploadReceiver> receiver_;
    std::optional<MultipartParser> multipart_;
    std::uint64_t body_left_ = 0;
    net::steady_timer deadline_;
    std::string raw_header_;
    std::size_t raw_header_sent_ = 0;
    UniqueFd raw_file_;
    std::uint64_t raw_offset_ = 0;
    std::uint64_t raw_left_ = 0;
    bool close_after_send_ = false;
    bool deadline_armed_ = false;
    bool deadline_passed_ = false;
    std::uint64_t deadline_arming_ = 0;
    std::string remote_ = "-";
    std::string method_;
    std::string target_;
    Clock::time_point started_ = Clock::now();
    std::uint64_t drained_ = 0;
    bool head_request_ = false;
};

}  // namespace

void start_http_session(tcp::socket socket, const tcp::endpoint& peer, ServiceContext& context)
{
    std::make_shared<HttpSession>(std::move(socket), peer, context)->read_header();
}

}  // namespace imagehost
