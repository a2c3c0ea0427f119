#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace imagehost {

// The keys an upload must present (`Authorization: Bearer <key>`), read from
// a file of one key a line (blank lines and lines starting with # ignored).
// Only their SHA-256 digests are kept, and a presented key is compared with
// every one of them in constant time, so neither timing nor a memory dump
// gives a key away. Without a file every upload is allowed.
class UploadKeys {
public:
    UploadKeys() = default;
    explicit UploadKeys(std::filesystem::path file);  // throws std::runtime_error if unreadable

    bool configured() const { return !file_.empty(); }
    // Reads the file again; on failure the keys in force stay and the error is thrown.
    void reload();
    // Whether an upload with this Authorization header value may go on.
    bool allows(std::string_view authorization) const;
    std::size_t count() const;

private:
    using Digest = std::array<unsigned char, 32>;
    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::shared_ptr<const std::vector<Digest>> digests_ = std::make_shared<std::vector<Digest>>();
};

}  // namespace imagehost
