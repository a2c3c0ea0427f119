#pragma once

#include "unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace imagehost {

// An upload being written under a temporary name in <data>/tmp. Unless it is
// committed, the destructor removes the file, so an aborted upload leaves nothing.
class PendingFile {
public:
    PendingFile(std::filesystem::path path, UniqueFd fd);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool write(std::string_view data);
    std::uint64_t size() const { return size_; }
    // The first bytes of the content, kept for type sniffing.
    const std::string& head() const { return head_; }

private:
    friend class ImageFiles;
    std::filesystem::path path_;
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    std::string head_;
    bool committed_ = false;
};

// The image files of a data directory: <data>/images/<id> for stored images and
// <data>/tmp for uploads in progress. Ids are validated before they become paths.
class ImageFiles {
public:
    explicit ImageFiles(std::filesystem::path data_dir);

    std::unique_ptr<PendingFile> begin();
    // Makes the bytes durable and gives them their final name: fsync, rename,
    // fsync of the directory. Throws on failure; the pending file is then removed.
    void commit(PendingFile& file, std::string_view id);

    std::filesystem::path image_path(std::string_view id) const;
    // True when the file is gone afterwards (including when it never existed).
    bool remove(std::string_view id);
    std::vector<std::string> stored_ids() const;
    // Removes what a crash may have left in tmp/; returns how many.
    std::size_t remove_temporary_files();

    const std::filesystem::path& data_dir() const { return data_dir_; }

private:
    std::filesystem::path data_dir_;
    std::filesystem::path images_dir_;
    std::filesystem::path tmp_dir_;
};

}  // namespace imagehost
