#pragma once

#include <cstdint>
#include <string_view>

namespace imagehost {

// What to send for a request's Range header against a stored image.
struct RangeDecision {
    enum Kind { Whole, Partial, Unsatisfiable };
    Kind kind = Whole;
    std::uint64_t first = 0;   // for Partial: offset of the first byte
    std::uint64_t length = 0;  // for Partial: how many bytes
};

// Honours one byte range ("bytes=a-b", "bytes=a-", "bytes=-n"). Anything
// else that a client may send (several ranges, other units, bad syntax) is
// answered with the whole image, which a client must accept.
RangeDecision decide_range(std::string_view range_header, std::uint64_t size);

}  // namespace imagehost
