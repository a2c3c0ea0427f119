#include "upload_keys.h"

#include "http_text.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <fstream>
#include <stdexcept>

namespace imagehost {
namespace {

std::array<unsigned char, 32> digest_of(std::string_view text)
{
    std::array<unsigned char, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
    return digest;
}

}  // namespace

UploadKeys::UploadKeys(std::filesystem::path file) : file_(std::move(file)) { reload(); }

void UploadKeys::reload()
{
    if (file_.empty())
        return;
    std::ifstream in(file_);
    if (!in)
        throw std::runtime_error("cannot read the upload keys in " + file_.string());
    auto digests = std::make_shared<std::vector<Digest>>();
    std::string line;
    while (std::getline(in, line)) {
        auto key = trim_blanks(line);
        if (!key.empty() && key.back() == '\r')
            key = trim_blanks(key.substr(0, key.size() - 1));
        if (key.empty() || key.front() == '#')
            continue;
        digests->push_back(digest_of(key));
    }
    if (in.bad())
        throw std::runtime_error("cannot read the upload keys in " + file_.string());
    std::lock_guard lock(mutex_);
    digests_ = std::move(digests);
}

bool UploadKeys::allows(std::string_view authorization) const
{
    if (!configured())
        return true;
    std::shared_ptr<const std::vector<Digest>> digests;
    {
        std::lock_guard lock(mutex_);
        digests = digests_;
    }
    constexpr std::string_view kScheme = "bearer ";
    authorization = trim_blanks(authorization);
    if (authorization.size() <= kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i)  // the scheme's name is case-insensitive
        if ((authorization[i] | 0x20) != kScheme[i])
            return false;
    auto presented = digest_of(trim_blanks(authorization.substr(kScheme.size())));
    bool match = false;
    for (const auto& digest : *digests)  // every key, whether or not one matched already
        match |= CRYPTO_memcmp(digest.data(), presented.data(), digest.size()) == 0;
    return match;
}

std::size_t UploadKeys::count() const
{
    std::lock_guard lock(mutex_);
    return digests_->size();
}

}  // namespace imagehost
