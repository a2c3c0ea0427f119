#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

// 128 random bits from the kernel, as 32 lower-case hex digits.
std::string new_image_id();

bool is_well_formed_id(std::string_view id);

struct ImageAddress {
    std::string id;
    std::string extension;
};

// Accepts only "/<id>.<known extension>": anything else (dot segments, percent
// escapes, extra slashes, queries) is not an address and so can never reach a
// file-system path.
std::optional<ImageAddress> parse_image_target(std::string_view target);

}  // namespace imagehost
