#pragma once
// Files that must survive a crash: written whole to a temporary file that is flushed to the
// disk before a rename publishes it, or appended to and flushed before the caller goes on.
// Every file made here is readable and writable by its owner only.

#include "types/text.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sandbox {

// A file operation that failed, with the system's error number (ENOSPC, EROFS, ...).
class FileError : public std::runtime_error {
public:
    FileError(int error, const std::string& path, const std::string& action);
    int error() const { return error_; }
    const std::string& path() const { return path_; }

private:
    int error_;
    std::string path_;
};

// Replaces `path` with `content`: a temporary file beside it, written, flushed, renamed over
// it, and the folder flushed, so that a crash leaves either the old file or the new one.
void writeFileDurably(const std::string& path, const Bytes& content);
// The whole file; throws FileError when it cannot be opened or read.
Bytes readWholeFile(const std::string& path);
// Flushes a folder, so that a rename or a removal in it survives a crash.
void syncFolder(const std::string& folder);
// Whether a file name is that of a temporary file writeFileDurably left behind.
bool isTemporaryFileName(const std::string& name);

// A file that only grows at its end, each addition flushed to the disk before append returns.
// An addition that fails is cut off again, so that the file never ends in half of one.
class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Opens (creating it when missing) for additions after its first `validSize` bytes; what
    // lies beyond them is cut off. Throws FileError.
    void open(const std::string& path, uint64_t validSize);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    void append(const Bytes& bytes);  // throws FileError
    uint64_t size() const { return size_; }

private:
    int fd_ = -1;
    std::string path_;
    uint64_t size_ = 0;
    int brokenBy_ = 0;  // a failed flush leaves the file's state unknown until it is opened again
};

}  // namespace sandbox
