// A stand-in for the C library's pread, loaded into proj2wav with LD_PRELOAD by the
// tests: reads of the file PROJ2WAV_FAULT_FILE (an absolute path without links)
// that touch its bytes from PROJ2WAV_FAULT_FROM to PROJ2WAV_FAULT_TO (excluded)
// fail with EIO, as reads of a bad sector do. Every other read goes through.
// Only `pread` itself is replaced: the tests also prove that proj2wav reads its
// takes through it. (Without the large-file macro, as in proj2wav's own POSIX
// layer, the name defined here is pread and not the C library's pread64 alias.)
#if defined(__LP64__)
#undef _FILE_OFFSET_BITS
#endif
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

using Pread = ssize_t (*)(int, void*, size_t, off_t);

struct Fault {
    std::string file;
    unsigned long long from = 0, to = 0;
};

const Fault& TheFault() {
    static const Fault fault = [] {
        Fault f;
        const char* file = std::getenv("PROJ2WAV_FAULT_FILE");
        const char* from = std::getenv("PROJ2WAV_FAULT_FROM");
        const char* to = std::getenv("PROJ2WAV_FAULT_TO");
        if (file != nullptr && from != nullptr && to != nullptr) {
            f = {file, std::strtoull(from, nullptr, 10), std::strtoull(to, nullptr, 10)};
        }
        return f;
    }();
    return fault;
}

bool Touches(int fd, size_t count, off_t offset) {
    const Fault& fault = TheFault();
    const auto first = static_cast<unsigned long long>(offset);
    if (fault.file.empty() || first >= fault.to || first + count <= fault.from) return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path);
    return length > 0 && fault.file == std::string(path, static_cast<size_t>(length));
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    static const auto real = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, "pread"));
    if (Touches(fd, count, offset)) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, count, offset);
}
