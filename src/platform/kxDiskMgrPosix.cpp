// The POSIX back end of the platform layer (Linux, macOS). Files are raw
// descriptors read and written at the handle's own position with pread and
// pwrite: large transfers go straight to the system, and errno stays as the
// failing call left it. Every read and write of the program passes through
// TransferFully below, the place to tune transfer sizes.
//
// Where off_t has 64 bits anyway (LP64 systems), the large-file macro is dropped
// here, so that the C library calls pread and pwrite by those names rather than
// by their "64" aliases: a tool that stands in for pread (a tracer, a test that
// makes chosen bytes unreadable) then sees every read of the program.
#if defined(__LP64__)
#undef _FILE_OFFSET_BITS
#endif
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <new>

#include "platform/kxDiskMgr.h"

static_assert(sizeof(off_t) == 8, "file offsets need 64 bits");

struct kxDiskFile {
    int fd = -1;
    uint64_t position = 0;
    // The file's identity, for the read faults of tests (handles for reading only).
    uint64_t device = 0;
    uint64_t inode = 0;
};

namespace {

// The most one system call is asked to move (Linux moves at most about 2 GiB).
constexpr uint64_t kMaxTransfer = uint64_t{1} << 30;
constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX);

// Opens an existing regular file (O_RDONLY or O_RDWR in `access`) and notes its
// identity. The open does not block (a fifo would wait for a writer); the
// descriptor is made blocking again once it is known to be a regular file.
int OpenRegular(const char* path, int access, struct stat& info) {
    const int fd = ::open(path, access | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error == 0) return fd;
    ::close(fd);
    errno = error;
    return -1;
}

// True when a read of n bytes at the handle's position touches a read fault.
bool HitsReadFault(const kxDiskFile& file, uint64_t n);

// Moves n bytes between `buffer` and the file at the handle's position, in as
// few system calls as the system allows; the position moves by what was moved.
template <class Transfer>
bool TransferFully(kxDiskFile* file, uint64_t n, Transfer transfer) {
    if (file == nullptr || n == 0 || file->position > kMaxOffset ||
        n > kMaxOffset - file->position) {
        return false;
    }
    uint64_t done = 0;
    while (done < n) {
        const auto chunk = static_cast<size_t>(std::min(n - done, kMaxTransfer));
        const ssize_t moved = transfer(done, chunk, static_cast<off_t>(file->position + done));
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) break;
        done += static_cast<uint64_t>(moved);
    }
    file->position += done;
    return done == n;
}

}  // namespace

// ---- Files ----

kxDiskFile* kxDiskMgr::FileOpen(const char* path, kxOpenMode mode) {
    if (path == nullptr) return nullptr;
    int fd = -1;
    struct stat info {};
    switch (mode) {
        case kxOpenMode::Read:
            fd = OpenRegular(path, O_RDONLY, info);
            break;
        case kxOpenMode::Update:
            fd = OpenRegular(path, O_RDWR, info);
            break;
        case kxOpenMode::Create:
            fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            break;
        case kxOpenMode::CreateReadBack:
            fd = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            break;
    }
    if (fd < 0) return nullptr;
    auto* file = new (std::nothrow)
        kxDiskFile{fd, 0, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    if (file == nullptr) {
        ::close(fd);
        errno = ENOMEM;
    }
    return file;
}

bool kxDiskMgr::FileRead(kxDiskFile* file, void* buffer, uint64_t n) {
    auto* bytes = static_cast<char*>(buffer);
    if (file != nullptr && HitsReadFault(*file, n)) {
        errno = EIO;
        return false;
    }
    return bytes != nullptr && TransferFully(file, n, [&](uint64_t done, size_t chunk, off_t at) {
               return ::pread(file->fd, bytes + done, chunk, at);
           });
}

bool kxDiskMgr::FileWrite(kxDiskFile* file, const void* buffer, uint64_t n) {
    const auto* bytes = static_cast<const char*>(buffer);
    return bytes != nullptr && TransferFully(file, n, [&](uint64_t done, size_t chunk, off_t at) {
               return ::pwrite(file->fd, bytes + done, chunk, at);
           });
}

bool kxDiskMgr::FileClose(kxDiskFile* file) {
    if (file == nullptr) return false;
    const bool closed = ::close(file->fd) == 0;
    delete file;
    return closed;
}

int64_t kxDiskMgr::FileTell(kxDiskFile* file) {
    return file == nullptr ? -1 : static_cast<int64_t>(file->position);
}

bool kxDiskMgr::FileSeek(kxDiskFile* file, uint64_t position) {
    if (file == nullptr || position > kMaxOffset) return false;
    file->position = position;
    return true;
}

void kxDiskMgr::WillReadInOrder(kxDiskFile* file, uint64_t offset, uint64_t length) {
    if (file == nullptr || offset > kMaxOffset || length > kMaxOffset - offset) return;
    const auto at = static_cast<off_t>(offset), len = static_cast<off_t>(length);
    // Linux doubles its read-ahead for such a file. (Asking for the whole take at
    // once with WILLNEED measured slower: it competes with the reads it should feed.)
    ::posix_fadvise(file->fd, at, len, POSIX_FADV_SEQUENTIAL);
}

bool kxDiskMgr::Flush(kxDiskFile* file) {
    // Writes are never held back here, so there is nothing to hand over.
    return file != nullptr;
}

bool kxDiskMgr::Sync(kxDiskFile* file) {
    if (file == nullptr) return false;
    if (::fsync(file->fd) == 0) return true;
    // A file system that cannot be asked (some network and FUSE ones) has been
    // handed every byte; only a real failure (EIO, ENOSPC, ...) is one.
    return errno == EINVAL || errno == ENOTSUP;
}

int64_t kxDiskMgr::FileLength(kxDiskFile* file) {
    struct stat info {};
    if (file == nullptr || ::fstat(file->fd, &info) != 0) return -1;
    return info.st_size;
}

bool kxDiskMgr::Truncate(kxDiskFile* file, uint64_t length) {
    return file != nullptr && length <= kMaxOffset &&
           ::ftruncate(file->fd, static_cast<off_t>(length)) == 0;
}

// ---- Paths and directories ----

bool kxDiskMgr::ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return false;
    int error = 0;
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    // std::string compares as unsigned bytes, as strcmp does.
    std::sort(names.begin(), names.end());
    errno = error;
    return error == 0;
}

kxFileInfo kxDiskMgr::Identify(const std::string& path, bool followLinks) {
    kxFileInfo found;
    struct stat info {};
    if ((followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) {
        return found;
    }
    found.exists = true;
    found.regular = S_ISREG(info.st_mode);
    found.directory = S_ISDIR(info.st_mode);
    found.link = S_ISLNK(info.st_mode);
    found.device = static_cast<uint64_t>(info.st_dev);
    found.inode = static_cast<uint64_t>(info.st_ino);
    found.size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    return found;
}

bool kxDiskMgr::ReadLink(const std::string& path, std::string& target) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);  // it may have been cut short
    }
}

bool kxDiskMgr::CanonicalPath(const std::string& path, std::string& canonical) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    canonical = resolved;
    std::free(resolved);
    return true;
}

bool kxDiskMgr::IsWritable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool kxDiskMgr::RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool kxDiskMgr::MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool kxDiskMgr::RemoveDirectory(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

int64_t kxDiskMgr::FreeSpace(const std::string& directory) {
    struct statvfs volume {};
    if (::statvfs(directory.c_str(), &volume) != 0) return -1;
    const uint64_t bytes = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
    return static_cast<int64_t>(std::min(bytes, kMaxOffset));
}

// ---- Failing reads, for tests ----

namespace {

struct ReadFault {
    uint64_t device, inode, from, to;
};

std::vector<ReadFault>& ReadFaults() {
    static std::vector<ReadFault> faults;
    return faults;
}

bool HitsReadFault(const kxDiskFile& file, uint64_t n) {
    for (const ReadFault& f : ReadFaults()) {
        if (f.device == file.device && f.inode == file.inode && file.position < f.to &&
            f.from < file.position + n) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool kxDiskMgr::AddReadFault(const std::string& path, uint64_t from, uint64_t to) {
    const kxFileInfo found = Identify(path);
    if (!found.regular || from >= to) return false;
    ReadFaults().push_back({found.device, found.inode, from, to});
    return true;
}

void kxDiskMgr::ClearReadFaults() {
    ReadFaults().clear();
}

// ---- Stop signals ----

namespace {

// Set by SIGINT or SIGTERM. A signal may arrive before the driver has prepared its
// output (which clears the driver's own flag), so it is kept here as well.
std::atomic<bool> stopArrived{false};
// The running driver's stop flag, once there is one to set.
std::atomic<std::atomic<bool>*> connectedFlag{nullptr};

static_assert(std::atomic<bool>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

extern "C" void kxStopSignalHandler(int) {
    stopArrived.store(true);
    if (std::atomic<bool>* flag = connectedFlag.load()) flag->store(true);
}

struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHup {};
struct sigaction previousXfsz {};

}  // namespace

kxStopSignals::kxStopSignals() {
    stopArrived.store(false);
    connectedFlag.store(nullptr);
    struct sigaction action {};
    action.sa_handler = kxStopSignalHandler;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    // A hang-up (the terminal or the session went away) stops a run too, unless the
    // program was started not to mind one (nohup).
    ::sigaction(SIGHUP, nullptr, &previousHup);
    if (previousHup.sa_handler != SIG_IGN) ::sigaction(SIGHUP, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previousXfsz);
}

kxStopSignals::~kxStopSignals() {
    connectedFlag.store(nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
    ::sigaction(SIGXFSZ, &previousXfsz, nullptr);
}

void kxStopSignals::Connect(std::atomic<bool>& flag) {
    connectedFlag.store(&flag);
    if (stopArrived.load()) flag.store(true);
}

bool kxStopSignals::Signalled() const {
    return stopArrived.load();
}
