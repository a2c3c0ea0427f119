#include "image_address.h"

#include "image_type.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace imagehost {
namespace {
constexpr std::size_t kIdBytes = 16;
}

std::string new_image_id()
{
    std::array<unsigned char, kIdBytes> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("getrandom failed");
        }
        filled += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    id.reserve(kIdBytes * 2);
    for (unsigned char b : bytes) {
        id.push_back(kHex[b >> 4]);
        id.push_back(kHex[b & 0xf]);
    }
    return id;
}

bool is_well_formed_id(std::string_view id)
{
    if (id.size() != kIdBytes * 2)
        return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::optional<ImageAddress> parse_image_target(std::string_view target)
{
    if (target.size() < 2 || target[0] != '/')
        return std::nullopt;
    target.remove_prefix(1);
    auto dot = target.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    auto id = target.substr(0, dot);
    auto extension = target.substr(dot + 1);
    if (!is_well_formed_id(id) || !image_type_for_extension(extension))
        return std::nullopt;
    return ImageAddress{std::string(id), std::string(extension)};
}

}  // namespace imagehost
