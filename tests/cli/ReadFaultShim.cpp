// A stand-in for the C library's pread, loaded into proj2wav with LD_PRELOAD by the
// tests: reads of the file PROJ2WAV_FAULT_FILE (an absolute path without links)
// that touch its bytes from PROJ2WAV_FAULT_FROM to PROJ2WAV_FAULT_TO (excluded)
// fail with EIO, as reads of a bad sector do. Only `pread` itself is replaced, so
// the tests also prove that proj2wav reads its takes through it. (Without the
// large-file macro, as in proj2wav's own POSIX layer, the name defined here is
// pread and not the C library's pread64 alias.)
#if defined(__LP64__)
#undef _FILE_OFFSET_BITS
#endif
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

unsigned long long Number(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 0;
}

bool Touches(int fd, size_t count, off_t offset) {
    static const char* file = std::getenv("PROJ2WAV_FAULT_FILE");
    static const unsigned long long from = Number("PROJ2WAV_FAULT_FROM");
    static const unsigned long long to = Number("PROJ2WAV_FAULT_TO");
    const auto first = static_cast<unsigned long long>(offset);
    if (file == nullptr || first >= to || first + count <= from) return false;
    char path[4096];
    const ssize_t length =
        ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 && std::string(path, static_cast<size_t>(length)) == file;
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    using Pread = ssize_t (*)(int, void*, size_t, off_t);
    static const auto real = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, "pread"));
    if (Touches(fd, count, offset)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count, offset);
}
