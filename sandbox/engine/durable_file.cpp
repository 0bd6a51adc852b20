#include "engine/durable_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sandbox {
namespace {

constexpr mode_t kOwnerOnly = 0600;
constexpr const char* kTemporaryMark = ".tmp";

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of `size` bytes at `offset`; false with errno set when the system refuses some.
bool writeAllAt(int fd, const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

FileError::FileError(int error, const std::string& path, const std::string& action)
    : std::runtime_error("cannot " + action + " '" + path + "': " + std::strerror(error)), error_(error), path_(path) {}

void writeFileDurably(const std::string& path, const Bytes& content) {
    std::string temporary = path + kTemporaryMark + std::to_string(getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kOwnerOnly);
    if (fd < 0) throw FileError(errno, path, "create");
    auto fail = [&](const char* action) {
        int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        throw FileError(error, path, action);
    };
    if (fchmod(fd, kOwnerOnly) != 0) fail("protect");  // a leftover of another owner's making
    if (!writeAllAt(fd, content.data(), content.size(), 0)) fail("write");
    if (fsync(fd) != 0) fail("flush");
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throw FileError(error, path, "write");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        throw FileError(error, path, "replace");
    }
    syncFolder(folderOf(path));
}

Bytes readWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileError(errno, path, "open");
    Bytes all;
    uint8_t buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            throw FileError(error, path, "read");
        }
        if (n == 0) break;
        all.insert(all.end(), buffer, buffer + n);
    }
    ::close(fd);
    return all;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileError(errno, folder, "open the folder");
    // Some file systems cannot flush a folder (EINVAL); their renames need no flush.
    if (fsync(fd) != 0 && errno != EINVAL) {
        int error = errno;
        ::close(fd);
        throw FileError(error, folder, "flush the folder");
    }
    ::close(fd);
}

bool isTemporaryFileName(const std::string& name) {
    size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string::npos || mark + 4 == name.size()) return false;
    return name.find_first_not_of("0123456789", mark + 4) == std::string::npos;
}

AppendOnlyFile::~AppendOnlyFile() { close(); }

void AppendOnlyFile::open(const std::string& path, uint64_t validSize) {
    close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, kOwnerOnly);
    if (fd < 0) throw FileError(errno, path, "open");
    struct stat status {};
    if (fstat(fd, &status) != 0 ||
        (static_cast<uint64_t>(status.st_size) != validSize && ftruncate(fd, static_cast<off_t>(validSize)) != 0)) {
        int error = errno;
        ::close(fd);
        throw FileError(error, path, "cut the incomplete end of");
    }
    fd_ = fd;
    path_ = path;
    size_ = validSize;
    brokenBy_ = 0;
}

void AppendOnlyFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void AppendOnlyFile::append(const Bytes& bytes) {
    if (brokenBy_ != 0) throw FileError(brokenBy_, path_, "write");
    if (!writeAllAt(fd_, bytes.data(), bytes.size(), size_)) {
        int error = errno;
        if (ftruncate(fd_, static_cast<off_t>(size_)) != 0) brokenBy_ = error;
        throw FileError(error, path_, "write");
    }
    if (fdatasync(fd_) != 0) {
        // After a failed flush the system may have dropped the written pages: the file is
        // trusted again only once it is opened anew.
        brokenBy_ = errno;
        if (ftruncate(fd_, static_cast<off_t>(size_)) == 0) (void)fdatasync(fd_);
        throw FileError(brokenBy_, path_, "flush");
    }
    size_ += bytes.size();
}

}  // namespace sandbox
