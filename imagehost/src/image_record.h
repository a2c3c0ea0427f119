#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace imagehost {

struct ImageRecord {
    std::string id;
    std::string extension;
    std::int64_t size = 0;
    std::int64_t created = 0;
    std::optional<std::int64_t> expires;
    // SHA-256 (hex) of the image's deletion token; the token itself is never stored.
    std::string deletion_hash;
};

}  // namespace imagehost
