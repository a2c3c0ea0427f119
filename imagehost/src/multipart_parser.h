#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

struct PartHeaders {
    std::string name;
    std::optional<std::string> filename;
    std::string content_type;
};

// Receives the parts of a multipart/form-data body as they stream past.
// Returning false from any callback stops the parse.
class MultipartHandler {
public:
    virtual ~MultipartHandler() = default;
    virtual bool on_part_begin(const PartHeaders& headers) = 0;
    virtual bool on_part_data(std::string_view data) = 0;
    virtual bool on_part_end() = 0;
};

struct MultipartLimits {
    std::size_t max_header_bytes = 8 * 1024;  // per part
    std::size_t max_parts = 16;
};

// Incremental multipart/form-data parser (RFC 2046 / RFC 7578). Memory use is
// bounded by the part-header limit plus one delimiter, whatever the body size:
// part contents are handed on as soon as they cannot be the start of a delimiter.
class MultipartParser {
public:
    MultipartParser(std::string_view boundary, MultipartHandler& handler, MultipartLimits limits = {});

    // Returns false once the body is malformed, over a limit or refused by the
    // handler; error() then says why and further input is ignored.
    bool feed(std::string_view data);

    // True once the closing delimiter has been seen.
    bool finished() const { return state_ == State::Epilogue; }
    const std::string& error() const { return error_; }

private:
    enum class State { Preamble, AfterDelimiter, Headers, Body, Epilogue, Failed };

    bool step(bool& progressed);
    bool fail(std::string reason);
    bool begin_part(std::string_view header_block);
    void emit_body_up_to(std::size_t end, bool& ok);
    // Hands part content on straight from `data`, without copying it into the
    // buffer first; leaves in `data` what must go the usual way (a delimiter
    // and what follows it, or a tail that could start one).
    bool pass_body_through(std::string_view& data);

    std::string delimiter_;  // CRLF "--" boundary
    MultipartHandler& handler_;
    MultipartLimits limits_;
    State state_ = State::Preamble;
    std::string buffer_;
    std::size_t parts_ = 0;
    std::string error_;
};

// Extracts the boundary parameter of a "multipart/form-data" Content-Type
// value; tolerates quoting, letter case and optional white space.
std::optional<std::string> multipart_boundary(std::string_view content_type);

}  // namespace imagehost
