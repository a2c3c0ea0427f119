#include "image_type.h"

#include <array>
#include <cstdint>

namespace imagehost {
namespace {

constexpr std::array<ImageType, 5> kTypes{{
    {"image/png", "png"},
    {"image/jpeg", "jpg"},
    {"image/gif", "gif"},
    {"image/bmp", "bmp"},
    {"image/webp", "webp"},
}};

bool starts_with(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

std::uint32_t little_endian_u32(std::string_view s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

// "BM" alone is too weak (plenty of text starts with it), so also demand one of
// the DIB header sizes that real bitmaps carry.
bool looks_like_bmp(std::string_view head)
{
    if (head.size() < 18 || !starts_with(head, "BM"))
        return false;
    switch (little_endian_u32(head, 14)) {
    case 12: case 40: case 52: case 56: case 64: case 108: case 124:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::optional<ImageType> sniff_image_type(std::string_view head)
{
    using namespace std::string_view_literals;
    if (starts_with(head, "\x89PNG\r\n\x1a\n"sv))
        return kTypes[0];
    if (starts_with(head, "\xff\xd8\xff"sv))
        return kTypes[1];
    if (starts_with(head, "GIF87a") || starts_with(head, "GIF89a"))
        return kTypes[2];
    if (looks_like_bmp(head))
        return kTypes[3];
    if (head.size() >= 12 && starts_with(head, "RIFF") && head.substr(8, 4) == "WEBP")
        return kTypes[4];
    return std::nullopt;
}

std::optional<ImageType> image_type_for_extension(std::string_view extension)
{
    for (const auto& type : kTypes)
        if (type.extension == extension)
            return type;
    return std::nullopt;
}

}  // namespace imagehost
