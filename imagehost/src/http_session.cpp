#include "http_session.h"

#include "multipart_parser.h"
#include "upload_receiver.h"

#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <vector>
#include <chrono>
#include <memory>
#include <optional>

namespace imagehost {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderLimit = 16 * 1024;
// Room for the multipart framing around the image: delimiters, part headers
// and a few small form fields.
constexpr std::uint64_t kFramingAllowance = 64 * 1024;
constexpr std::size_t kChunkBytes = 64 * 1024;

constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::uint64_t kLingerBytes = 4 * 1024 * 1024;

bool iequals(beast::string_view a, beast::string_view b) { return beast::iequals(a, b); }

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket socket, ServiceContext& context)
        : stream_(std::move(socket)), context_(context), buffer_(kHeaderLimit * 2)
    {
        ++context_.connections;
        beast::error_code ec;
        auto endpoint = stream_.socket().remote_endpoint(ec);
        if (!ec)
            remote_ = endpoint.address().to_string();
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
        if (ec == http::error::body_limit)  // the declared Content-Length is already too much
            return reply(http::status::payload_too_large,
                         "image larger than " + std::to_string(context_.config.max_upload_bytes) + " bytes", true);
        if (ec == http::error::header_limit)
            return reply(http::status::request_header_fields_too_large, "request header too large", true);
        if (ec == beast::error::timeout)
            return abandon(408);
        if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset)
            return close_quietly();
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

    void serve_image(bool head_only)
    {
        bool keep_alive = parser_->get().keep_alive();
        if (target_ == "/")
            return reply(http::status::ok, "image host: POST images to /upload.php", !keep_alive);
        auto image = context_.service.find(target_);
        if (!image)
            return reply(http::status::not_found, "not found", !keep_alive);

        http::file_body::value_type file;
        beast::error_code ec;
        file.open(image->path.c_str(), beast::file_mode::scan, ec);
        if (ec)  // reaped between lookup and open
            return reply(http::status::not_found, "not found", !keep_alive);

        auto set_headers = [&](auto& res) {
            res.set(http::field::content_type, image->mime);
            res.set("X-Content-Type-Options", "nosniff");
            res.set("Content-Security-Policy", "sandbox");
            res.set(http::field::cache_control, cache_control(image->seconds_left));
            res.keep_alive(keep_alive);
        };
        if (head_only) {
            http::response<http::empty_body> res{http::status::ok, 11};
            set_headers(res);
            res.content_length(file.size());
            return send(std::move(res), !keep_alive, 200, 0);
        }
        auto size = file.size();
        http::response<http::file_body> res{http::status::ok, 11};
        set_headers(res);
        res.body() = std::move(file);
        res.prepare_payload();
        send(std::move(res), !keep_alive, 200, size);
    }

    static std::string cache_control(std::optional<std::int64_t> seconds_left)
    {
        if (!seconds_left)
            return "public, max-age=86400, immutable";
        // Caches must not keep the image past its self-destruct time.
        return "public, max-age=" + std::to_string(std::min<std::int64_t>(86400, *seconds_left));
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

        chunk_.resize(kChunkBytes);
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
        auto& body = parser_->get().body();
        body.data = chunk_.data();
        body.size = chunk_.size();
        body.more = true;
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_body(ec); });
    }

    void on_body(beast::error_code ec)
    {
        if (ec == http::error::need_buffer)
            ec = {};
        if (ec == http::error::body_limit)
            return refuse_upload(Refusal{413, "request body too large"});
        if (ec) {
            // Timed out or gone half-way: nothing to answer; the pending file
            // is removed with the receiver.
            receiver_.reset();
            return abandon(ec == beast::error::timeout ? 408 : 499);
        }
        std::size_t received = chunk_.size() - parser_->get().body().size;
        if (!multipart_->feed(std::string_view(chunk_.data(), received))) {
            if (receiver_->refusal())
                return refuse_upload(*receiver_->refusal());
            return refuse_upload(Refusal{400, "malformed multipart body: " + multipart_->error()});
        }
        if (!parser_->is_done())
            return read_body();
        if (!multipart_->finished())
            return refuse_upload(Refusal{400, "malformed multipart body: no closing delimiter"});

        auto result = context_.service.complete_upload(*receiver_);
        receiver_.reset();
        bool close = !parser_->get().keep_alive();
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

    void reply(http::status status, const std::string& reason, bool close)
    {
        auto set_headers = [&](auto& res) {
            res.set(http::field::content_type, "text/plain; charset=utf-8");
            res.set("X-Content-Type-Options", "nosniff");
            if (status == http::status::method_not_allowed)
                res.set(http::field::allow, "GET, HEAD, POST");
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
        chunk_.resize(kChunkBytes);
        drain();
    }

    void drain()
    {
        stream_.async_read_some(net::buffer(chunk_), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
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
    std::optional<http::request_parser<http::buffer_body>> parser_;
    std::optional<UploadReceiver> receiver_;
    std::optional<MultipartParser> multipart_;
    std::vector<char> chunk_;  // allocated only by connections that read a body
    std::string remote_ = "-";
    std::string method_;
    std::string target_;
    Clock::time_point started_ = Clock::now();
    std::uint64_t drained_ = 0;
    bool head_request_ = false;
};

}  // namespace

void start_http_session(tcp::socket socket, ServiceContext& context)
{
    std::make_shared<HttpSession>(std::move(socket), context)->read_header();
}

}  // namespace imagehost
