#include "audiofile/kxDiskMgr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* kxDiskMgr::FileOpen(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    if (mode[0] != 'r') return std::fopen(path, mode);

    // Open without blocking (a fifo would wait for a writer), check that it is a
    // regular file, then hand the descriptor to stdio in blocking mode.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) ::close(fd);
    return stream;
}

bool kxDiskMgr::FileRead(std::FILE* stream, void* buffer, uint64_t n) {
    if (stream == nullptr || buffer == nullptr || n == 0) return false;
    return std::fread(buffer, n, 1, stream) == 1;
}

bool kxDiskMgr::FileWrite(std::FILE* stream, const void* buffer, uint64_t n) {
    if (stream == nullptr || buffer == nullptr || n == 0) return false;
    return std::fwrite(buffer, n, 1, stream) == 1;
}

bool kxDiskMgr::FileClose(std::FILE* stream) {
    return stream != nullptr && std::fclose(stream) == 0;
}

int64_t kxDiskMgr::FileTell(std::FILE* stream) {
    if (stream == nullptr) return -1;
    return ::ftello(stream);
}

bool kxDiskMgr::FileSeek(std::FILE* stream, int64_t offset, int origin) {
    return stream != nullptr && ::fseeko(stream, offset, origin) == 0;
}

bool kxDiskMgr::Flush(std::FILE* stream) {
    return stream != nullptr && std::fflush(stream) == 0;
}

int64_t kxDiskMgr::FileLength(std::FILE* stream) {
    if (stream == nullptr) return -1;
    struct stat info {};
    if (::fstat(::fileno(stream), &info) != 0) return -1;
    return info.st_size;
}

bool kxDiskMgr::Truncate(std::FILE* stream, uint64_t length) {
    if (stream == nullptr || std::fflush(stream) != 0) return false;
    return ::ftruncate(::fileno(stream), static_cast<off_t>(length)) == 0;
}
