#include "multipart_parser.h"
#include "http_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace imagehost {
namespace {

constexpr std::string_view kCrlf = "\r\n";

bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Parameter {
    std::string name;
    std::string value;
};

// Splits `; name=value` parameters. Quoted values are taken literally up to the
// next quote: form clients do not backslash-escape, and Windows paths are full
// of backslashes that must not be read as escapes.
std::optional<std::vector<Parameter>> split_parameters(std::string_view s)
{
    std::vector<Parameter> params;
    while (true) {
        s = trim_blanks(s);
        if (s.empty())
            return params;
        if (s.front() != ';')
            return std::nullopt;
        s = trim_blanks(s.substr(1));
        if (s.empty())
            return params;
        auto eq = s.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        Parameter p;
        p.name = std::string(trim_blanks(s.substr(0, eq)));
        s = trim_blanks(s.substr(eq + 1));
        if (!s.empty() && s.front() == '"') {
            auto close = s.find('"', 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            p.value = std::string(s.substr(1, close - 1));
            s.remove_prefix(close + 1);
        } else {
            auto end = s.find(';');
            p.value = std::string(trim_blanks(s.substr(0, end)));
            s = end == std::string_view::npos ? std::string_view{} : s.substr(end);
        }
        if (p.name.empty())
            return std::nullopt;
        params.push_back(std::move(p));
    }
}

bool valid_boundary(std::string_view b)
{
    static constexpr std::string_view kExtra = "'()+_,-./:=? ";
    if (b.empty() || b.size() > 70 || b.back() == ' ')
        return false;
    return std::all_of(b.begin(), b.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || kExtra.find(c) != std::string_view::npos;
    });
}

}  // namespace

std::optional<std::string> multipart_boundary(std::string_view content_type)
{
    auto semicolon = content_type.find(';');
    if (!iequals(trim_blanks(content_type.substr(0, semicolon)), "multipart/form-data") ||
        semicolon == std::string_view::npos)
        return std::nullopt;
    auto params = split_parameters(content_type.substr(semicolon));
    if (!params)
        return std::nullopt;
    for (const auto& p : *params)
        if (iequals(p.name, "boundary"))
            return valid_boundary(p.value) ? std::optional<std::string>(p.value) : std::nullopt;
    return std::nullopt;
}

MultipartParser::MultipartParser(std::string_view boundary, MultipartHandler& handler, MultipartLimits limits)
    : delimiter_("\r\n--" + std::string(boundary)), handler_(handler), limits_(limits),
      // The first delimiter may open the body without a preceding line break;
      // priming the buffer with one lets a single search rule cover both cases.
      buffer_(kCrlf)
{
}

bool MultipartParser::fail(std::string reason)
{
    if (state_ != State::Failed) {
        state_ = State::Failed;
        error_ = std::move(reason);
    }
    buffer_.clear();
    return false;
}

bool MultipartParser::feed(std::string_view data)
{
    if (state_ == State::Failed)
        return false;
    if (state_ == State::Epilogue)
        return true;  // anything after the closing delimiter is ignored
    if (state_ == State::Body && !pass_body_through(data))
        return false;
    buffer_.append(data);
    bool progressed = true;
    while (progressed) {
        progressed = false;
        if (!step(progressed))
            return false;
    }
    return true;
}

bool MultipartParser::pass_body_through(std::string_view& data)
{
    // Only when what is kept plus the start of `data` shows whether a
    // delimiter begins in what is kept; otherwise the usual way.
    std::size_t kept = buffer_.size();
    if (kept >= delimiter_.size() || data.size() < delimiter_.size())
        return true;
    buffer_.append(data.substr(0, delimiter_.size()));
    bool delimiter_near = buffer_.find(delimiter_) != std::string::npos;
    buffer_.resize(kept);
    if (delimiter_near)
        return true;
    if (kept > 0 && !handler_.on_part_data(buffer_))
        return fail("part refused");
    buffer_.clear();
    // Up to the delimiter, or all but what could be a delimiter's start.
    auto at = data.find(delimiter_);
    std::size_t content = at != std::string_view::npos ? at : data.size() - (delimiter_.size() - 1);
    if (content > 0 && !handler_.on_part_data(data.substr(0, content)))
        return fail("part refused");
    data.remove_prefix(content);
    return true;
}

void MultipartParser::emit_body_up_to(std::size_t end, bool& ok)
{
    if (end == 0)
        return;
    if (!handler_.on_part_data(std::string_view(buffer_).substr(0, end)))
        ok = fail("part refused");
    else
        buffer_.erase(0, end);
}

bool MultipartParser::step(bool& progressed)
{
    switch (state_) {
    case State::Preamble:
    case State::Body: {
        auto at = std::string_view(buffer_).find(delimiter_);
        bool ok = true;
        if (at == std::string_view::npos) {
            // Keep only what could still be the start of a delimiter.
            std::size_t keep = std::min(buffer_.size(), delimiter_.size() - 1);
            if (state_ == State::Body)
                emit_body_up_to(buffer_.size() - keep, ok);
            else
                buffer_.erase(0, buffer_.size() - keep);
            return ok;
        }
        if (state_ == State::Body) {
            emit_body_up_to(at, ok);
            if (!ok)
                return false;
            if (!handler_.on_part_end())
                return fail("part refused");
            at = 0;
        }
        buffer_.erase(0, at + delimiter_.size());
        state_ = State::AfterDelimiter;
        progressed = true;
        return true;
    }
    case State::AfterDelimiter: {
        if (buffer_.size() < 2)
            return true;
        if (buffer_.compare(0, 2, "--") == 0) {
            state_ = State::Epilogue;
            buffer_.clear();
            return true;
        }
        // Transport padding (spaces or tabs) may sit between delimiter and line end.
        auto end = buffer_.find(kCrlf);
        auto line = std::string_view(buffer_).substr(0, end);
        if (end == std::string::npos && line.back() == '\r')
            line.remove_suffix(1);  // the line end may be arriving
        // The same length bound whether or not the line end has arrived yet.
        if (line.size() > 256 || line.find_first_not_of(" \t") != std::string_view::npos)
            return fail("malformed multipart delimiter line");
        if (end == std::string::npos)
            return true;
        if (++parts_ > limits_.max_parts)
            return fail("too many multipart parts");
        buffer_.erase(0, end + kCrlf.size());
        state_ = State::Headers;
        progressed = true;
        return true;
    }
    case State::Headers: {
        std::size_t block_end;
        std::size_t consumed;
        if (buffer_.compare(0, 2, kCrlf) == 0) {
            block_end = 0;
            consumed = 2;
        } else {
            auto at = buffer_.find("\r\n\r\n");
            if (at == std::string::npos) {
                // Fail only once no terminator could still end the block
                // within the limit, so the outcome never depends on how the
                // input was split.
                if (buffer_.size() >= limits_.max_header_bytes + 4)
                    return fail("multipart part header too large");
                return true;
            }
            block_end = at;
            consumed = at + 4;
        }
        if (block_end > limits_.max_header_bytes)
            return fail("multipart part header too large");
        std::string block = buffer_.substr(0, block_end);
        buffer_.erase(0, consumed);
        if (!begin_part(block))
            return false;
        state_ = State::Body;
        progressed = true;
        return true;
    }
    case State::Epilogue:
    case State::Failed:
        return state_ != State::Failed;
    }
    return true;
}

bool MultipartParser::begin_part(std::string_view block)
{
    PartHeaders part;
    bool has_disposition = false;
    while (!block.empty()) {
        auto end = block.find(kCrlf);
        auto line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view{} : block.substr(end + 2);
        auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return fail("malformed multipart part header");
        auto name = trim_blanks(line.substr(0, colon));
        auto value = trim_blanks(line.substr(colon + 1));
        if (iequals(name, "Content-Disposition")) {
            auto semicolon = value.find(';');
            if (!iequals(trim_blanks(value.substr(0, semicolon)), "form-data"))
                return fail("multipart part is not form-data");
            auto params = split_parameters(semicolon == std::string_view::npos ? std::string_view{}
                                                                                 : value.substr(semicolon));
            if (!params)
                return fail("malformed Content-Disposition");
            for (auto& p : *params) {
                if (iequals(p.name, "name"))
                    part.name = std::move(p.value);
                else if (iequals(p.name, "filename"))
                    part.filename = std::move(p.value);
            }
            has_disposition = true;
        } else if (iequals(name, "Content-Type")) {
            part.content_type = std::string(value);
        }
    }
    if (!has_disposition || part.name.empty())
        return fail("multipart part without a field name");
    if (!handler_.on_part_begin(part))
        return fail("part refused");
    return true;
}

}  // namespace imagehost
