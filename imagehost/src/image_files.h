#pragma once

#include "unique_fd.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace imagehost {

// An upload being written, already under its final name <data>/images/<id>
// (a file without a record is never served, and start-up removes such files,
// so a crash in the middle leaves nothing that counts). Unless it is
// committed, the destructor removes the file, so an aborted upload leaves nothing.
class PendingFile {
public:
    PendingFile(std::string id, std::filesystem::path path, UniqueFd fd);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Small pieces are held back and written with the next piece (or by
    // make_durable), in one system call.
    bool write(std::string_view data);
    std::uint64_t size() const { return size_; }
    // The image's id: its file name, and its record's key once committed.
    const std::string& id() const { return id_; }
    // The first bytes of the content, kept for type sniffing.
    const std::string& head() const { return head_; }

private:
    friend class ImageFiles;
    bool write_out(std::string_view data);
    bool flush() { return held_bytes_ == 0 || write_out({}); }

    std::string id_;
    std::filesystem::path path_;
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    std::array<char, 4096> held_;
    std::size_t held_bytes_ = 0;
    std::string head_;
    bool committed_ = false;
};

// The image files of a data directory: <data>/images/<id>, for stored images
// and uploads in progress alike. <data>/tmp held uploads in progress in earlier
// versions and is emptied at start-up. Ids are validated before they become paths.
class ImageFiles {
public:
    explicit ImageFiles(std::filesystem::path data_dir);

    // Creates the file of a new image under a fresh id. Throws
    // std::system_error with the errno of the failed create.
    std::unique_ptr<PendingFile> begin();
    // Makes the bytes durable: fsync, close. The name itself is durable only
    // after sync_images_directory(). Throws on failure; the file is then
    // removed with its object.
    void make_durable(PendingFile& file);
    // Writes out what is held back and closes the file, without fsync: for
    // a spooled upload whose bytes are made durable elsewhere. Throws on failure.
    void finish_writing(PendingFile& file);
    // One fsync of the image directory makes every name created before it durable.
    void sync_images_directory();

    std::filesystem::path image_path(std::string_view id) const;
    // True when the file is gone afterwards (including when it never existed).
    bool remove(std::string_view id);
    std::vector<std::string> stored_ids() const;
    // Removes what a crash of an earlier version may have left in tmp/; returns how many.
    std::size_t remove_temporary_files();

    const std::filesystem::path& data_dir() const { return data_dir_; }

private:
    std::filesystem::path data_dir_;
    std::filesystem::path images_dir_;
    std::filesystem::path tmp_dir_;
    // Kept open so that committing never needs a new descriptor.
    UniqueFd images_dir_fd_;
};

}  // namespace imagehost
