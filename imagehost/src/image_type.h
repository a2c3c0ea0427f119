#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace imagehost {

struct ImageType {
    std::string_view mime;
    std::string_view extension;
};

// How many leading bytes sniff_image_type needs to decide.
constexpr std::size_t kSniffBytes = 32;

// Decides the type from the content alone; the client's file name and
// content type are never consulted. Only PNG, JPEG, GIF, BMP and WebP qualify.
std::optional<ImageType> sniff_image_type(std::string_view head);

std::optional<ImageType> image_type_for_extension(std::string_view extension);

}  // namespace imagehost
