#include "byte_range.h"
#include "http_text.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace imagehost {
namespace {

// Digits only; a number too large for 64 bits saturates, which is still
// beyond any image and so decides the range correctly.
std::optional<std::uint64_t> parse_position(std::string_view s)
{
    if (s.empty())
        return std::nullopt;
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        auto digit = static_cast<std::uint64_t>(c - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

bool starts_with_bytes_unit(std::string_view s)
{
    constexpr std::string_view kUnit = "bytes=";
    if (s.size() < kUnit.size())
        return false;
    for (std::size_t i = 0; i < kUnit.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kUnit[i])
            return false;
    }
    return true;
}

}  // namespace

RangeDecision decide_range(std::string_view header, std::uint64_t size)
{
    RangeDecision whole;
    header = trim_blanks(header);
    if (!starts_with_bytes_unit(header))
        return whole;
    auto ranges = trim_blanks(header.substr(6));
    if (ranges.find(',') != std::string_view::npos)
        return whole;
    auto dash = ranges.find('-');
    if (dash == std::string_view::npos)
        return whole;
    auto first_text = trim_blanks(ranges.substr(0, dash));
    auto last_text = trim_blanks(ranges.substr(dash + 1));

    RangeDecision unsatisfiable{RangeDecision::Unsatisfiable};
    if (first_text.empty()) {  // the last n bytes
        auto suffix = parse_position(last_text);
        if (!suffix)
            return whole;
        if (*suffix == 0 || size == 0)
            return unsatisfiable;
        auto length = std::min(*suffix, size);
        return {RangeDecision::Partial, size - length, length};
    }
    auto first = parse_position(first_text);
    if (!first)
        return whole;
    std::uint64_t last = std::numeric_limits<std::uint64_t>::max();
    if (!last_text.empty()) {
        auto parsed = parse_position(last_text);
        if (!parsed || *parsed < *first)
            return whole;
        last = *parsed;
    }
    if (*first >= size)
        return unsatisfiable;
    last = std::min(last, size - 1);
    return {RangeDecision::Partial, *first, last - *first + 1};
}

}  // namespace imagehost
