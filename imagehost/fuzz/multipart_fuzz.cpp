// libFuzzer target for the streaming multipart parser. Besides crashes and
// sanitizer findings it checks that feeding the same body in pieces yields
// exactly the events of feeding it whole.

#include "multipart_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class Transcript final : public imagehost::MultipartHandler {
public:
    bool on_part_begin(const imagehost::PartHeaders& h) override
    {
        log += "B" + h.name + '\x01' + h.filename.value_or("-") + '\x01' + h.content_type + '\x01';
        return h.name != "refuse";
    }
    bool on_part_data(std::string_view d) override
    {
        log.append(d);
        return true;
    }
    bool on_part_end() override
    {
        log += "E";
        return true;
    }
    std::string log;
};

struct Outcome {
    bool ok;
    bool finished;
    std::string log;
};

Outcome parse(std::string_view boundary, std::string_view body, std::size_t piece)
{
    Transcript t;
    imagehost::MultipartLimits limits;
    limits.max_header_bytes = 256;
    limits.max_parts = 8;
    imagehost::MultipartParser p(boundary, t, limits);
    bool ok = true;
    for (std::size_t at = 0; at < body.size() && ok; at += piece)
        ok = p.feed(body.substr(at, piece));
    return {ok, p.finished(), t.log};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // First byte picks the piece size, second the boundary length.
    std::size_t piece = data[0] % 17 + 1;
    std::size_t boundary_length = data[1] % 8 + 1;
    std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (input.size() < boundary_length)
        return 0;
    auto boundary = input.substr(0, boundary_length);
    auto body = input.substr(boundary_length);

    auto whole = parse(boundary, body, body.size() + 1);
    auto split = parse(boundary, body, piece);
    // A failure may be noticed at a different point, so events only match when both succeed.
    if (whole.ok != split.ok || whole.finished != split.finished || (whole.ok && whole.log != split.log))
        std::abort();
    (void)imagehost::multipart_boundary(std::string(input));
    return 0;
}
