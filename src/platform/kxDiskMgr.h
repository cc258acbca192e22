// The platform layer: every call proj2wav makes to the system it runs on passes
// through here — file I/O with 64-bit offsets, directory listing, file identity,
// canonical paths, free space and the signals that stop a run — so that the code
// above it needs no system header and sees no system type.
//
// One back end is compiled in: kxDiskMgrPosix.cpp (Linux, macOS, any POSIX
// system) or kxDiskMgrWeb.cpp, the browser's (Emscripten builds). Functions never throw
// and never print; a failure returns false, null or -1, and errno holds the
// system's reason when it gave one, for the front ends' messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// An open file. What it holds belongs to the back end; callers only pass it on.
struct kxDiskFile;

enum class kxOpenMode : int32_t {
    Read,            // an existing regular file, or a link to one; a directory, fifo or
                     // device is refused at once, so a fifo in a project never blocks a scan
    Create,          // created, or truncated when it exists; written only
    CreateReadBack,  // created or truncated; written and read back
    Update,          // an existing regular file, read and written in place: never
                     // created, never truncated
};

// What a path leads to.
struct kxFileInfo {
    bool exists = false;  // false when nothing is there or it cannot be looked at (errno)
    bool regular = false;
    bool directory = false;
    bool link = false;  // a symbolic link itself; only when links are not followed
    // Together these tell two spellings of one file apart (another relative form,
    // a symbolic or hard link): equal for one file, different for two.
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;  // bytes, for a regular file

    bool SameFile(const kxFileInfo& other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

struct kxDiskMgr {
    // ---- Files. Each handle keeps its own position, starting at 0. ----

    // Opens `path`; null on failure.
    static kxDiskFile* FileOpen(const char* path, kxOpenMode mode);
    // Reads exactly n bytes at the position and moves past them: all or nothing,
    // and n == 0 counts as failure. After a short read the position has moved by
    // the bytes that were there.
    static bool FileRead(kxDiskFile* file, void* buffer, uint64_t n);
    // Writes exactly n bytes at the position and moves past them; n == 0 fails.
    // Bytes are handed to the system before it returns, so a full disk or a size
    // limit fails the write that meets it.
    static bool FileWrite(kxDiskFile* file, const void* buffer, uint64_t n);
    // Closes and frees the handle (also when closing fails).
    static bool FileClose(kxDiskFile* file);
    // The position, or -1.
    static int64_t FileTell(kxDiskFile* file);
    // Moves to an absolute position (beyond the end is allowed, as for writing).
    static bool FileSeek(kxDiskFile* file, uint64_t position);
    // Tells the system that `length` bytes from `offset` will be read from start to
    // end, so that it reads ahead of the reader. Only a hint: nothing fails.
    static void WillReadInOrder(kxDiskFile* file, uint64_t offset, uint64_t length);
    // Hands anything still held for the file to the system.
    static bool Flush(kxDiskFile* file);
    // Has the system put what was written to the file on the disk itself, and waits
    // until it is there (fsync), so that a power cut or a disk pulled out right
    // after cannot lose it. False when the disk reports an error.
    static bool Sync(kxDiskFile* file);
    // Size in bytes of the open file, or -1.
    static int64_t FileLength(kxDiskFile* file);
    // Cuts the open file to `length` bytes.
    static bool Truncate(kxDiskFile* file, uint64_t length);

    // ---- Paths and directories ----

    // The names in a directory, without "." and "..", in byte order whatever the
    // locale (names are bytes and need not be UTF-8). False when it cannot be read.
    static bool ListDirectory(const std::string& directory, std::vector<std::string>& names);
    // What `path` leads to, symbolic links followed unless `followLinks` is false.
    static kxFileInfo Identify(const std::string& path, bool followLinks = true);
    // The target a symbolic link holds, as written in the link.
    static bool ReadLink(const std::string& path, std::string& target);
    // The absolute path of an existing file or directory, with ".", ".." and
    // symbolic links resolved.
    static bool CanonicalPath(const std::string& path, std::string& canonical);
    // True when this process may write `path` (a file, or a directory to create in).
    static bool IsWritable(const std::string& path);
    // Removes a file (a link itself, not what it points to).
    static bool RemoveFile(const std::string& path);
    // Creates the directory `path` (its parent must exist), readable and writable by
    // everyone the user's file-creation mask allows; false when it exists already.
    static bool MakeDirectory(const std::string& path);
    // Removes the directory `path`, which must be empty.
    static bool RemoveDirectory(const std::string& path);
    // Bytes free for this user on the volume holding `directory`; -1 when unknown.
    static int64_t FreeSpace(const std::string& directory);

    // ---- Failing reads, for tests only ----
    // From now on every read of the file at `path` (under any name, through any
    // handle) that touches its bytes from `from` to `to` (excluded) fails with EIO,
    // as a read of a bad sector does; ClearReadFaults ends them all. Set them
    // while no run reads. The POSIX back end only.
    static bool AddReadFault(const std::string& path, uint64_t from, uint64_t to);
    static void ClearReadFaults();
};

// Stop requests from outside the program, for the life of a conversion. While one
// of these exists, SIGINT, SIGTERM and SIGHUP (unless hang-ups were ignored, as
// under nohup; every one, not only the first) mark the
// run as stopped and set the connected flag, so that the run ends between blocks
// with a valid, shorter output; a file size limit (SIGXFSZ) makes the write fail
// with an error instead of killing the program. Destruction restores what was
// there before. One at a time; where the platform has no such signals (the
// browser), nothing ever arrives.
class kxStopSignals {
public:
    kxStopSignals();
    ~kxStopSignals();
    kxStopSignals(const kxStopSignals&) = delete;
    kxStopSignals& operator=(const kxStopSignals&) = delete;

    // From now on a stop request also sets `flag` (a driver's stopRequested); one
    // that came earlier sets it at once.
    void Connect(std::atomic<bool>& flag);
    // True once a stop request has arrived while this watcher exists.
    bool Signalled() const;
};
