// Small text helpers shared by the header-value parsers.
#pragma once

#include <string_view>

namespace imagehost {

// The value without the spaces and tabs HTTP allows around it.
inline std::string_view trim_blanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

}  // namespace imagehost
