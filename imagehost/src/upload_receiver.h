#pragma once

#include "image_files.h"
#include "multipart_parser.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace imagehost {

// An answer to a request that cannot go on: HTTP status and a one-line reason.
struct Refusal {
    int status;
    std::string reason;
};

// Collects the fields of one upload form as they stream in: the "file" part
// goes straight to a pending file, "selfdestruct_timeout" is kept (bounded),
// anything else is skipped.
class UploadReceiver final : public MultipartHandler {
public:
    UploadReceiver(ImageFiles& files, std::uint64_t max_image_bytes);

    bool on_part_begin(const PartHeaders& headers) override;
    bool on_part_data(std::string_view data) override;
    bool on_part_end() override;

    const std::optional<Refusal>& refusal() const { return refusal_; }
    std::unique_ptr<PendingFile>& file() { return file_; }
    const std::optional<std::string>& self_destruct_text() const { return self_destruct_; }

private:
    enum class Target { None, File, SelfDestruct, Skipped };
    bool refuse(int status, std::string reason);

    ImageFiles& files_;
    std::uint64_t max_image_bytes_;
    Target target_ = Target::None;
    std::unique_ptr<PendingFile> file_;
    std::optional<std::string> self_destruct_;
    std::optional<Refusal> refusal_;
};

constexpr std::int64_t kMinSelfDestructSeconds = 60;
constexpr std::int64_t kMaxSelfDestructSeconds = 31536000;

// A whole number of seconds from 60 to 31536000, digits only.
std::optional<std::int64_t> parse_self_destruct(std::string_view text);

}  // namespace imagehost
