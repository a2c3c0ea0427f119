#include "image_files.h"

#include "image_address.h"
#include "image_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace imagehost {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void throw_errno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PendingFile::PendingFile(std::string id, fs::path path, UniqueFd fd)
    : id_(std::move(id)), path_(std::move(path)), fd_(std::move(fd))
{
}

PendingFile::~PendingFile()
{
    fd_.reset();
    if (!committed_)
        ::unlink(path_.c_str());
}

bool PendingFile::write(std::string_view data)
{
    if (head_.size() < kSniffBytes)
        head_.append(data.substr(0, kSniffBytes - head_.size()));
    size_ += data.size();
    // The multipart parser hands on the few bytes it kept back (in case they
    // began a delimiter) separately from the large piece that follows them.
    if (held_bytes_ + data.size() <= held_.size()) {
        data.copy(held_.data() + held_bytes_, data.size());
        held_bytes_ += data.size();
        return true;
    }
    return write_out(data);
}

bool PendingFile::write_out(std::string_view data)
{
    iovec pieces[2] = {{held_.data(), held_bytes_}, {const_cast<char*>(data.data()), data.size()}};
    iovec* next = held_bytes_ > 0 ? pieces : pieces + 1;
    int count = held_bytes_ > 0 ? 2 : 1;
    while (count > 0) {
        ssize_t n = ::writev(fd_.get(), next, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        auto written = static_cast<std::size_t>(n);
        while (count > 0 && written >= next->iov_len) {
            written -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + written;
            next->iov_len -= written;
        }
    }
    held_bytes_ = 0;
    return true;
}

ImageFiles::ImageFiles(fs::path data_dir)
    : data_dir_(std::move(data_dir)), images_dir_(data_dir_ / "images"), tmp_dir_(data_dir_ / "tmp")
{
    fs::create_directories(images_dir_);
    fs::create_directories(tmp_dir_);
    images_dir_fd_ = UniqueFd(::open(images_dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!images_dir_fd_)
        throw_errno("open " + images_dir_.string());
}

std::unique_ptr<PendingFile> ImageFiles::begin()
{
    auto id = new_image_id();
    auto path = image_path(id);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd)
        throw_errno("create " + path.string());
    return std::make_unique<PendingFile>(std::move(id), std::move(path), std::move(fd));
}

void ImageFiles::make_durable(PendingFile& file)
{
    if (!file.flush())
        throw_errno("write " + file.path_.string());
    if (::fsync(file.fd_.get()) != 0)
        throw_errno("fsync " + file.path_.string());
    if (!file.fd_.reset())
        throw_errno("close " + file.path_.string());
    file.committed_ = true;
}

void ImageFiles::finish_writing(PendingFile& file)
{
    if (!file.flush())
        throw_errno("write " + file.path_.string());
    if (!file.fd_.reset())
        throw_errno("close " + file.path_.string());
}

void ImageFiles::sync_images_directory()
{
    if (::fsync(images_dir_fd_.get()) != 0)
        throw_errno("fsync " + images_dir_.string());
}

fs::path ImageFiles::image_path(std::string_view id) const
{
    if (!is_well_formed_id(id))
        throw std::invalid_argument("bad image id");
    return images_dir_ / std::string(id);
}

bool ImageFiles::remove(std::string_view id)
{
    auto path = image_path(id);
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::vector<std::string> ImageFiles::stored_ids() const
{
    std::vector<std::string> ids;
    for (const auto& entry : fs::directory_iterator(images_dir_)) {
        auto name = entry.path().filename().string();
        if (is_well_formed_id(name))
            ids.push_back(std::move(name));
    }
    return ids;
}

std::size_t ImageFiles::remove_temporary_files()
{
    std::size_t removed = 0;
    for (const auto& entry : fs::directory_iterator(tmp_dir_)) {
        std::error_code ec;
        if (fs::remove(entry.path(), ec))
            ++removed;
    }
    return removed;
}

}  // namespace imagehost
