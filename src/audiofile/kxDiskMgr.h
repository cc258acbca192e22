// The disk layer: every byte that proj2wav reads or writes passes through these
// stateless wrappers over stdio, with 64-bit file offsets throughout.
#pragma once

#include <cstdint>
#include <cstdio>

struct kxDiskMgr {
    // Opens `path` with a stdio mode ("rb", "wb", "wb+"). A file opened for reading
    // must be a regular file (or a link to one): directories, fifos and devices are
    // refused without blocking, so a fifo in a project can never hang a scan.
    static std::FILE* FileOpen(const char* path, const char* mode);
    // Reads exactly n bytes, all or nothing; n == 0 counts as failure.
    static bool FileRead(std::FILE* stream, void* buffer, uint64_t n);
    // Writes exactly n bytes, all or nothing; n == 0 counts as failure.
    static bool FileWrite(std::FILE* stream, const void* buffer, uint64_t n);
    static bool FileClose(std::FILE* stream);
    // The stream's position, or -1.
    static int64_t FileTell(std::FILE* stream);
    // Seeks by a signed offset from SEEK_SET or SEEK_CUR.
    static bool FileSeek(std::FILE* stream, int64_t offset, int origin);
    static bool Flush(std::FILE* stream);
    // Size in bytes of the file behind the stream, or -1.
    static int64_t FileLength(std::FILE* stream);
    // Cuts the file behind the stream to `length` bytes.
    static bool Truncate(std::FILE* stream, uint64_t length);
};
