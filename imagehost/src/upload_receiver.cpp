#include "upload_receiver.h"

#include "descriptor_limit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <system_error>

namespace imagehost {
namespace {
constexpr std::size_t kMaxFieldBytes = 32;
}

std::optional<std::int64_t> parse_self_destruct(std::string_view text)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < kMinSelfDestructSeconds || value > kMaxSelfDestructSeconds)
        return std::nullopt;
    return value;
}

UploadReceiver::UploadReceiver(ImageFiles& files, std::uint64_t max_image_bytes)
    : files_(files), max_image_bytes_(max_image_bytes)
{
}

bool UploadReceiver::refuse(int status, std::string reason)
{
    if (!refusal_)
        refusal_ = Refusal{status, std::move(reason)};
    file_.reset();  // removes the partial file at once
    return false;
}

bool UploadReceiver::on_part_begin(const PartHeaders& headers)
{
    if (headers.name == "file") {
        if (file_)
            return refuse(400, "more than one file part");
        try {
            file_ = files_.begin();
        } catch (const std::system_error& e) {
            if (is_descriptor_exhaustion(e.code().value()))  // passes once connections close
                return refuse(503, "server busy (out of file descriptors), try again shortly");
            std::fprintf(stderr, "imagehost: cannot create an upload's file: %s\n", e.what());
            return refuse(500, "cannot store the upload");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "imagehost: cannot create an upload's file: %s\n", e.what());
            return refuse(500, "cannot store the upload");
        }
        target_ = Target::File;
    } else if (headers.name == "selfdestruct_timeout") {
        if (self_destruct_)
            return refuse(400, "more than one selfdestruct_timeout field");
        self_destruct_.emplace();
        target_ = Target::SelfDestruct;
    } else {
        target_ = Target::Skipped;
    }
    return true;
}

bool UploadReceiver::on_part_data(std::string_view data)
{
    switch (target_) {
    case Target::File:
        if (file_->size() + data.size() > max_image_bytes_)
            return refuse(413, "image larger than " + std::to_string(max_image_bytes_) + " bytes");
        if (!file_->write(data)) {
            std::fprintf(stderr, "imagehost: cannot write image %s: %s\n", file_->id().c_str(), std::strerror(errno));
            return refuse(500, "cannot store the upload");
        }
        return true;
    case Target::SelfDestruct:
        if (self_destruct_->size() + data.size() > kMaxFieldBytes)
            return refuse(400, "selfdestruct_timeout must be a whole number of seconds from 60 to 31536000");
        self_destruct_->append(data);
        return true;
    case Target::Skipped:
    case Target::None:
        return true;
    }
    return true;
}

bool UploadReceiver::on_part_end()
{
    target_ = Target::None;
    return true;
}

}  // namespace imagehost
