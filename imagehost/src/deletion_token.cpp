#include "deletion_token.h"

#include "image_address.h"

#include <openssl/sha.h>

namespace imagehost {

std::string new_deletion_token() { return new_image_id(); }

std::string deletion_token_hash(std::string_view token)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(token.data()), token.size(), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : digest) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 0xf]);
    }
    return hex;
}

std::optional<std::string> parse_deletion_target(std::string_view target)
{
    constexpr std::string_view kPrefix = "/delete/";
    target = target.substr(0, target.find('?'));
    if (target.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    auto token = target.substr(kPrefix.size());
    if (!is_well_formed_id(token))  // same shape as an id: 32 lower-case hex digits
        return std::nullopt;
    return std::string(token);
}

std::string deletion_page(std::string_view image_address)
{
    // The address is ours (public URL, hex id, extension): nothing to escape
    // beyond what the public URL could hold.
    std::string escaped;
    for (char c : image_address) {
        if (c == '<' || c == '>' || c == '"' || c == '&' || c == '\'')
            escaped += "&#" + std::to_string(static_cast<int>(c)) + ";";
        else
            escaped.push_back(c);
    }
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta name=\"robots\" content=\"noindex\">"
           "<title>Delete image</title></head>\n<body>\n<p>Delete the image " + escaped +
           " for good?</p>\n<form method=\"post\"><button type=\"submit\">Delete this image</button></form>\n"
           "</body></html>\n";
}

}  // namespace imagehost
