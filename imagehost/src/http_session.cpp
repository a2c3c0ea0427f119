#include "http_session.h"

#include "byte_range.h"
#include "deletion_token.h"
#include "descriptor_limit.h"
#include "http_text.h"
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

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
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
// A body must bring at least this much in every window (or finish in it):
// a client that trickles a few bytes at a time holds a connection for nothing.
constexpr std::uint64_t kMinBodyProgressBytes = 8 * 1024;
constexpr auto kBodyProgressWindow = std::chrono::seconds(10);

bool iequals(beast::string_view a, beast::string_view b) { return beast::iequals(a, b); }

// The last entry of X-Forwarded-For: the one the trusted proxy added itself.
std::string last_forwarded_address(beast::string_view header)
{
    std::string_view list(header.data(), header.size());
    auto comma = list.rfind(',');
    auto last = trim_blanks(comma == std::string_view::npos ? list : list.substr(comma + 1));
    return std::string(last.substr(0, 64));
}

// Whether an If-None-Match list names this entity tag (weak comparison).
bool none_match_hits(beast::string_view header, std::string_view etag)
{
    std::string_view list(header.data(), header.size());
    while (!list.empty()) {
        auto comma = list.find(',');
        auto item = trim_blanks(list.substr(0, comma));
        if (item == "*")
            return true;
        if (item.substr(0, 2) == "W/")
            item.remove_prefix(2);
        if (item == etag)
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

// The last coding of a Transfer-Encoding list, which frames the body.
std::string_view last_coding(beast::string_view header)
{
    std::string_view list(header.data(), header.size());
    auto comma = list.rfind(',');
    auto last = trim_blanks(comma == std::string_view::npos ? list : list.substr(comma + 1));
    return last.substr(0, last.find(';'));
}

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
    HttpSession(tcp::socket socket, const tcp::endpoint& peer, ConnectionSlot slot, ServiceContext& context)
        : stream_(std::move(socket)),
          context_(context),
          slot_(std::move(slot)),
          buffer_(kHeaderLimit * 2),
          deadline_(stream_.get_executor()),
          progress_(stream_.get_executor())
    {
        ++context_.connections;
        // Room reserved up front, so that a read takes a usual header whole
        // rather than a few hundred bytes; bodies do not pass through here.
        buffer_.reserve(kHeaderReadBytes);
        remote_ = peer.address().to_string();
        const auto& proxies = context_.config.trusted_proxies;
        peer_is_proxy_ = std::find(proxies.begin(), proxies.end(), remote_) != proxies.end();
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
        version_ = 11;
        client_ = remote_;
        if (buffer_.size() > 0)  // a pipelined request is here already
            return begin_request();
        // A request's time runs from its first byte; until then the connection
        // is idle, and an idle connection that ends (or is ended) is no request.
        char byte;
        ssize_t n = ::recv(stream_.socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            return begin_request();
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return close_quietly();
        arm_deadline(Clock::now() + std::chrono::seconds(context_.config.header_timeout_seconds));
        stream_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
            bool idle_too_long = self->deadline_passed_;
            self->disarm_deadline();
            if (ec || idle_too_long)
                return self->close_quietly();
            self->begin_request();
        });
    }

private:
    void begin_request()
    {
        started_ = Clock::now();
        // Our own deadline rather than the stream's: the stream's closes the
        // socket, and a late header is answered 408.
        stream_.expires_never();
        arm_deadline(started_ + std::chrono::seconds(context_.config.header_timeout_seconds));
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    bool late = self->deadline_passed_;
                                    self->disarm_deadline();
                                    self->on_header(late ? beast::error::timeout : ec);
                                });
    }

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
            return reply(http::status::request_timeout, "request header not received in time", true);
        if (ec)
            return reply(http::status::bad_request, "malformed HTTP request", true);

        auto& req = parser_->get();
        method_ = std::string(req.method_string());
        head_request_ = req.method() == http::verb::head;
        target_ = std::string(req.target());
        version_ = req.version();
        if (peer_is_proxy_ && !req["X-Forwarded-For"].empty())
            client_ = last_forwarded_address(req["X-Forwarded-For"]);

        // A coding other than chunked last leaves the body's end unknown: read
        // on, its bytes would pass for a next request (a desync behind a proxy).
        // Several header lines form one list: the last line's last coding counts.
        auto codings = req.equal_range(http::field::transfer_encoding);
        beast::string_view transfer_encoding;
        for (auto it = codings.first; it != codings.second; ++it)
            transfer_encoding = it->value();
        if (codings.first != codings.second && !iequals(last_coding(transfer_encoding), "chunked"))
            return reply(http::status::bad_request, "unsupported Transfer-Encoding", true);
        if (version_ >= 11 && req.find(http::field::host) == req.end())
            return reply(http::status::bad_request, "HTTP/1.1 request without Host", true);
        bool has_body = parser_->chunked() || parser_->content_length().value_or(0) > 0;

        auto deletion = parse_deletion_target(target_);
        if (req.method() == http::verb::post) {
            if (req.target() == "/upload.php")
                return begin_upload();
            if (deletion)
                return delete_image(*deletion);
            return reply(http::status::not_found, "not found", true);
        }
        if (req.method() != http::verb::get && req.method() != http::verb::head)
            return reply(http::status::method_not_allowed, "method not allowed", true);
        if (has_body)
            return reply(http::status::bad_request, "unexpected request body", true);
        if (deletion)
            return show_deletion_page(*deletion);
        serve_image(req.method() == http::verb::head);
    }

    // A link preview or a prefetch only GETs: the page asks for a POST.
    void show_deletion_page(const std::string& token)
    {
        bool close = !parser_->get().keep_alive();
        std::optional<std::string> image;
        try {
            image = context_.service.deletion_subject(token);
        } catch (const std::exception&) {
            return reply(http::status::service_unavailable, "image index unavailable, try again shortly", true);
        }
        if (!image)
            return reply(http::status::not_found, "not found", close);
        auto page = deletion_page(*image);
        page.pop_back();  // reply() ends the body with its own newline
        reply(http::status::ok, page, close,
              {{"Content-Type", "text/html; charset=utf-8"},
               {"Cache-Control", "no-store"},
               {"Referrer-Policy", "no-referrer"},
               {"Content-Security-Policy", "default-src 'none'; form-action 'self'; frame-ancestors 'none'"}});
    }

    void delete_image(const std::string& token)
    {
        // Any body (a form's) is left unread: the connection closes after the answer.
        Deletion outcome;
        try {
            outcome = context_.service.delete_by_token(token);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot delete an image: %s\n", e.what());
            return reply(http::status::service_unavailable, "image index unavailable, try again shortly", true);
        }
        switch (outcome) {
        case Deletion::Deleted:
            return reply(http::status::ok, "image deleted", true, {{"Cache-Control", "no-store"}});
        case Deletion::Unknown:
            return reply(http::status::not_found, "not found (already deleted, or not a deletion address)", true);
        case Deletion::Failed:
            break;
        }
        reply(http::status::internal_server_error, "cannot delete the image now, try again later", true);
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

        // Images never change: the id is their entity tag.
        std::string etag = "\"" + image->id + "\"";
        auto none_match = parser_->get()[http::field::if_none_match];
        if (!none_match.empty() && none_match_hits(none_match, etag)) {
            http::response<http::empty_body> res{http::status::not_modified, 11};
            res.set(http::field::date, http_date());
            res.set(http::field::etag, etag);
            res.set(http::field::cache_control, cache_control(image->seconds_left));
            set_connection(res, keep_alive);
            log(304, 0);
            return send_raw(serialize_header(res), UniqueFd(), 0, 0, !keep_alive);
        }

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
        auto if_range = parser_->get()[http::field::if_range];
        auto range = decide_range(if_range.empty() || if_range == etag
                                      ? parser_->get()[http::field::range]
                                      : beast::string_view{},  // another validator: the whole image
                                  size);
        if (range.kind == RangeDecision::Unsatisfiable)
            return reply(http::status::range_not_satisfiable, "range not satisfiable", !keep_alive,
                         {{"Content-Range", "bytes */" + std::to_string(size)}});

        http::response<http::empty_body> res{http::status::ok, 11};
        res.set(http::field::date, http_date());
        res.set(http::field::etag, etag);
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
        set_connection(res, keep_alive);
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

    // HTTP/1.1 keeps a connection unless told otherwise; an HTTP/1.0 client
    // keeps it only when the answer says so.
    template <class Response>
    void set_connection(Response& res, bool keep_alive) const
    {
        res.keep_alive(keep_alive);
        if (keep_alive && version_ < 11)
            res.set(http::field::connection, "keep-alive");
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
        if (!context_.keys.allows(req[http::field::authorization]))
            return reply(http::status::unauthorized, "an upload key is required (Authorization: Bearer <key>)", true,
                         {{"WWW-Authenticate", "Bearer"}});
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
        if (!disk_has_room(*parser_->content_length()))
            return reply(http::status::insufficient_storage, "the server is short of disk space, upload refused",
                         true);
        if (auto refusal = context_.upload_limiter.admit(limit_key(client_), *parser_->content_length()))
            return reply(http::status::too_many_requests, refusal->reason, true,
                         {{"Retry-After", std::to_string(refusal->retry_after_seconds)}});

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

    // Keeps the last --min-free-disk of the file system free; the episode is
    // logged when it begins and when it ends.
    bool disk_has_room(std::uint64_t upload_bytes)
    {
        auto floor = context_.config.min_free_disk;
        if (floor == 0)
            return true;
        auto free = free_disk_bytes(context_.config.data_dir.string());
        bool room = !free || *free >= floor + upload_bytes;  // unknown: the write itself will tell
        if (!room && !context_.disk_low.exchange(true))
            std::fprintf(stderr,
                         "imagehost: free disk below the floor (%llu bytes free, floor %llu): uploads refused with 507\n",
                         static_cast<unsigned long long>(*free), static_cast<unsigned long long>(floor));
        if (room && context_.disk_low.exchange(false))
            std::fprintf(stderr, "imagehost: free disk above the floor again, uploads accepted\n");
        return room;
    }

    // Every window of the body must bring kMinBodyProgressBytes (or the rest).
    void watch_body_progress()
    {
        window_start_left_ = body_left_;
        progress_.expires_after(kBodyProgressWindow);
        progress_.async_wait([self = shared_from_this(), armed = ++progress_arming_](beast::error_code ec) {
            if (ec || armed != self->progress_arming_ || self->body_left_ == 0)
                return;
            auto brought = self->window_start_left_ - self->body_left_;
            if (brought < std::min(kMinBodyProgressBytes, self->window_start_left_)) {
                self->deadline_passed_ = true;
                beast::error_code ignored;
                self->stream_.socket().cancel(ignored);
                return;
            }
            self->watch_body_progress();
        });
    }

    void stop_watching_body()
    {
        progress_.cancel();
        ++progress_arming_;
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
        watch_body_progress();
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
                    stop_watching_body();
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
        stop_watching_body();
        finish_body();
    }

    // Timed out or gone half-way: nothing to answer; the pending file is
    // removed with the receiver.
    void give_up_body()
    {
        bool timed_out = deadline_passed_;
        disarm_deadline();
        stop_watching_body();
        receiver_.reset();
        if (timed_out)
            return reply(http::status::request_timeout, "request body too slow", true);
        abandon(499);
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
        res.set(http::field::date, http_date());
        res.set("Uploaded", result.text);
        res.set("Deletion-Url", result.deletion_url);
        res.set(http::field::content_type, "text/plain; charset=utf-8");
        res.set("X-Content-Type-Options", "nosniff");
        res.body() = result.text + "\n";
        set_connection(res, !close);
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
            res.set(http::field::date, http_date());
            res.set(http::field::content_type, "text/plain; charset=utf-8");
            res.set("X-Content-Type-Options", "nosniff");
            if (status == http::status::method_not_allowed)
                res.set(http::field::allow, "GET, HEAD, POST");
            if (status == http::status::service_unavailable)
                res.set(http::field::retry_after, kRetryAfterSeconds);
            for (const auto& [name, value] : extra)
                res.set(name, value);
            set_connection(res, !close);
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
        // A deletion token in the log would let its readers delete the image.
        std::string_view target = target_;
        if (target.rfind("/delete/", 0) == 0)
            target = "/delete/(token)";
        context_.log.write(client_, method_, target, status, bytes, Clock::now() - started_);
    }

    beast::tcp_stream stream_;
    ServiceContext& context_;
    ConnectionSlot slot_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::optional<UploadReceiver> receiver_;
    std::optional<MultipartParser> multipart_;
    std::uint64_t body_left_ = 0;
    net::steady_timer deadline_;
    net::steady_timer progress_;
    std::uint64_t progress_arming_ = 0;
    std::uint64_t window_start_left_ = 0;
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
    std::string client_ = "-";  // the peer, or the client a trusted proxy names
    bool peer_is_proxy_ = false;
    unsigned version_ = 11;
    std::string method_;
    std::string target_;
    Clock::time_point started_ = Clock::now();
    std::uint64_t drained_ = 0;
    bool head_request_ = false;
};

}  // namespace

void start_http_session(tcp::socket socket, const tcp::endpoint& peer, ConnectionSlot slot, ServiceContext& context)
{
    std::make_shared<HttpSession>(std::move(socket), peer, std::move(slot), context)->read_header();
}

std::string http_date()
{
    // Formatted once a second per thread: it goes on every answer.
    thread_local std::time_t formatted_at = 0;
    thread_local char text[40] = "";
    std::time_t now = std::time(nullptr);
    if (now != formatted_at) {
        std::tm utc{};
        gmtime_r(&now, &utc);
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
        formatted_at = now;
    }
    return text;
}

void refuse_connection(tcp::socket& socket, const std::string& reason)
{
    int fd = socket.native_handle();
    // What the client sent already is read first: closing with unread data
    // would reset the connection, and the answer might be lost with it.
    char discard[4096];
    for (int i = 0; i < 16 && ::recv(fd, discard, sizeof discard, MSG_DONTWAIT) > 0; ++i) {
    }
    std::string body = reason + "\n";
    std::string answer = "HTTP/1.1 503 Service Unavailable\r\nDate: " + http_date() +
                         "\r\nRetry-After: 5\r\nContent-Type: text/plain; charset=utf-8\r\n"
                         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    [[maybe_unused]] auto sent = ::send(fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    boost::system::error_code ignored;
    socket.close(ignored);
}

}  // namespace imagehost
