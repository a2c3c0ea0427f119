#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace imagehost {

// A deletion token: 128 random bits of its own (unrelated to the image id),
// as 32 lower-case hex digits. Handed out once, in the upload's answer.
std::string new_deletion_token();

// What is stored instead of the token: its SHA-256 in hex. A leaked database
// then deletes nothing.
std::string deletion_token_hash(std::string_view token);

// "/delete/<token>" (a query string is ignored) gives the token; anything else nothing.
std::optional<std::string> parse_deletion_target(std::string_view target);

// The page a GET of a deletion address shows: one button that posts the
// deletion, so that a link preview or prefetch never deletes anything.
std::string deletion_page(std::string_view image_address);

}  // namespace imagehost
